"""A small terminal screen for tests: enough of xterm to follow what ncurses
writes for TERM=xterm-256color (cursor addressing, erasing with the background
colour, scrolling regions, repeats, the line-drawing character set, colours
and the bold, dim, underline and reverse attributes), and a pseudo-terminal
session that runs a program on it.

The screen keeps one cell per position: its character and its attributes.
"""

import codecs
import errno
import os
import pty
import select
import signal
import struct
import termios
import fcntl
import time

# DEC special graphics ("line drawing") for ESC ( 0.
LINE_DRAWING = {
    "j": "\u2518", "k": "\u2510", "l": "\u250c", "m": "\u2514", "n": "\u253c",
    "q": "\u2500", "t": "\u251c", "u": "\u2524", "v": "\u2534", "w": "\u252c",
    "x": "\u2502", "a": "\u2592", "`": "\u25c6", "~": "\u00b7", "f": "\u00b0",
    "g": "\u00b1", "y": "\u2264", "z": "\u2265", "{": "\u03c0", "|": "\u2260",
    "}": "\u00a3", "0": "\u2588", "h": "\u2592", "o": "\u23ba", "s": "\u23bd",
    "p": "\u23bb", "r": "\u23bc",
}


class Attr:
    __slots__ = ("fg", "bg", "bold", "dim", "underline", "reverse")

    def __init__(self, fg=None, bg=None, bold=False, dim=False, underline=False, reverse=False):
        self.fg, self.bg = fg, bg
        self.bold, self.dim, self.underline, self.reverse = bold, dim, underline, reverse

    def copy(self):
        return Attr(self.fg, self.bg, self.bold, self.dim, self.underline, self.reverse)

    def blank(self):
        """What erasing leaves: the background colour only."""
        return Attr(None, self.bg)

    def key(self):
        return (self.fg, self.bg, self.bold, self.dim, self.underline, self.reverse)


class Screen:
    def __init__(self, rows=24, cols=80):
        self.rows, self.cols = rows, cols
        self.attr = Attr()
        self.cells = [[(" ", Attr()) for _ in range(cols)] for _ in range(rows)]
        self.row = self.col = 0
        self.top, self.bottom = 0, rows - 1
        self.wrap_pending = False
        self.saved = (0, 0, Attr())
        self.charsets = ["B", "B"]
        self.shift = 0
        self.last_char = " "
        self.decoder = codecs.getincrementaldecoder("utf-8")("replace")
        self.state = "text"
        self.params = ""

    # --- reading the screen -------------------------------------------------------------

    def lines(self):
        return ["".join(c for c, _ in row) for row in self.cells]

    def text(self):
        return "\n".join(line.rstrip() for line in self.lines())

    def find(self, needle):
        """(row, col) of the first place the text shows, or None."""
        for r, line in enumerate(self.lines()):
            c = line.find(needle)
            if c >= 0:
                return r, c
        return None

    def attr_at(self, row, col):
        return self.cells[row][col][1]

    # --- writing to it -------------------------------------------------------------------

    def feed(self, data):
        for ch in self.decoder.decode(data):
            self._char(ch)

    def _char(self, ch):
        if self.state == "text":
            self._text(ch)
        elif self.state == "esc":
            self._escape(ch)
        elif self.state == "csi":
            if "\x40" <= ch <= "\x7e":
                self.state = "text"
                self._csi(self.params, ch)
            else:
                self.params += ch
        elif self.state == "osc":
            if ch == "\x07":
                self.state = "text"
            elif ch == "\x1b":
                self.state = "osc-esc"
        elif self.state == "osc-esc":
            self.state = "text"
        elif self.state.startswith("charset"):
            self.charsets[0 if self.state == "charset0" else 1] = ch
            self.state = "text"

    def _text(self, ch):
        if ch == "\x1b":
            self.state = "esc"
        elif ch == "\r":
            self.col, self.wrap_pending = 0, False
        elif ch in "\n\x0b\x0c":
            self._line_feed()
        elif ch == "\b":
            self.col, self.wrap_pending = max(0, self.col - 1), False
        elif ch == "\t":
            self.col = min(self.cols - 1, (self.col // 8 + 1) * 8)
        elif ch == "\x0e":
            self.shift = 1
        elif ch == "\x0f":
            self.shift = 0
        elif ch < " " or ch == "\x7f":
            pass
        else:
            self._put(ch)

    def _put(self, ch):
        if self.charsets[self.shift] == "0":
            ch = LINE_DRAWING.get(ch, ch)
        if self.wrap_pending:
            self.col = 0
            self._line_feed()
            self.wrap_pending = False
        self.cells[self.row][self.col] = (ch, self.attr.copy())
        self.last_char = ch
        if self.col == self.cols - 1:
            self.wrap_pending = True
        else:
            self.col += 1

    def _line_feed(self):
        self.wrap_pending = False
        if self.row == self.bottom:
            self._scroll_up(1)
        elif self.row < self.rows - 1:
            self.row += 1

    def _blank_row(self):
        return [(" ", self.attr.blank()) for _ in range(self.cols)]

    def _scroll_up(self, n):
        for _ in range(n):
            del self.cells[self.top]
            self.cells.insert(self.bottom, self._blank_row())

    def _scroll_down(self, n):
        for _ in range(n):
            del self.cells[self.bottom]
            self.cells.insert(self.top, self._blank_row())

    def _escape(self, ch):
        self.state = "text"
        if ch == "[":
            self.state, self.params = "csi", ""
        elif ch == "]":
            self.state = "osc"
        elif ch == "(":
            self.state = "charset0"
        elif ch == ")":
            self.state = "charset1"
        elif ch == "7":
            self.saved = (self.row, self.col, self.attr.copy())
        elif ch == "8":
            self.row, self.col, attr = self.saved
            self.attr = attr.copy()
        elif ch == "M":
            if self.row == self.top:
                self._scroll_down(1)
            else:
                self.row = max(0, self.row - 1)
        elif ch == "D":
            self._line_feed()
        elif ch == "E":
            self.col = 0
            self._line_feed()
        elif ch == "c":
            self.__init__(self.rows, self.cols)

    def _erase(self, row, first, last):
        for c in range(max(0, first), min(self.cols, last + 1)):
            self.cells[row][c] = (" ", self.attr.blank())

    def _csi(self, params, final):
        private = params.startswith("?") or params.startswith(">")
        body = params.lstrip("?>=")
        numbers = [int(p) if p.isdigit() else 0 for p in body.split(";")] if body else []

        def arg(i=0, default=1):
            return numbers[i] if len(numbers) > i and numbers[i] else default

        self.wrap_pending = False if final not in "m" else self.wrap_pending
        if private:
            if final == "h" and 1049 in numbers:
                for r in range(self.rows):
                    self._erase(r, 0, self.cols - 1)
            return
        if final == "A":
            self.row = max(self.top if self.row >= self.top else 0, self.row - arg())
        elif final == "B":
            self.row = min(self.bottom if self.row <= self.bottom else self.rows - 1, self.row + arg())
        elif final == "C":
            self.col = min(self.cols - 1, self.col + arg())
        elif final == "D":
            self.col = max(0, self.col - arg())
        elif final == "E":
            self.row, self.col = min(self.rows - 1, self.row + arg()), 0
        elif final == "F":
            self.row, self.col = max(0, self.row - arg()), 0
        elif final == "G" or final == "`":
            self.col = min(self.cols - 1, arg() - 1)
        elif final == "d":
            self.row = min(self.rows - 1, arg() - 1)
        elif final in "Hf":
            self.row = min(self.rows - 1, arg(0) - 1)
            self.col = min(self.cols - 1, arg(1) - 1)
        elif final == "J":
            mode = arg(0, 0)
            if mode == 0:
                self._erase(self.row, self.col, self.cols - 1)
                for r in range(self.row + 1, self.rows):
                    self._erase(r, 0, self.cols - 1)
            elif mode == 1:
                for r in range(0, self.row):
                    self._erase(r, 0, self.cols - 1)
                self._erase(self.row, 0, self.col)
            else:
                for r in range(self.rows):
                    self._erase(r, 0, self.cols - 1)
        elif final == "K":
            mode = arg(0, 0)
            if mode == 0:
                self._erase(self.row, self.col, self.cols - 1)
            elif mode == 1:
                self._erase(self.row, 0, self.col)
            else:
                self._erase(self.row, 0, self.cols - 1)
        elif final == "X":
            self._erase(self.row, self.col, self.col + arg() - 1)
        elif final == "P":
            n = min(arg(), self.cols - self.col)
            line = self.cells[self.row]
            del line[self.col:self.col + n]
            line.extend((" ", self.attr.blank()) for _ in range(n))
        elif final == "@":
            n = min(arg(), self.cols - self.col)
            line = self.cells[self.row]
            for _ in range(n):
                line.insert(self.col, (" ", self.attr.blank()))
            del line[self.cols:]
        elif final == "L":
            if self.top <= self.row <= self.bottom:
                for _ in range(arg()):
                    del self.cells[self.bottom]
                    self.cells.insert(self.row, self._blank_row())
        elif final == "M":
            if self.top <= self.row <= self.bottom:
                for _ in range(arg()):
                    del self.cells[self.row]
                    self.cells.insert(self.bottom, self._blank_row())
        elif final == "S":
            self._scroll_up(arg())
        elif final == "T":
            self._scroll_down(arg())
        elif final == "b":
            for _ in range(arg()):
                self._put(self.last_char)
        elif final == "m":
            self._sgr(numbers or [0])
        elif final == "r":
            self.top = arg(0) - 1
            self.bottom = (numbers[1] if len(numbers) > 1 and numbers[1] else self.rows) - 1
            self.row = self.col = 0

    def _sgr(self, numbers):
        i = 0
        a = self.attr
        while i < len(numbers):
            n = numbers[i]
            if n == 0:
                self.attr = a = Attr()
            elif n == 1:
                a.bold = True
            elif n == 2:
                a.dim = True
            elif n == 4:
                a.underline = True
            elif n == 7:
                a.reverse = True
            elif n == 22:
                a.bold = a.dim = False
            elif n == 24:
                a.underline = False
            elif n == 27:
                a.reverse = False
            elif 30 <= n <= 37:
                a.fg = n - 30
            elif n == 39:
                a.fg = None
            elif 40 <= n <= 47:
                a.bg = n - 40
            elif n == 49:
                a.bg = None
            elif 90 <= n <= 97:
                a.fg = n - 90 + 8
            elif 100 <= n <= 107:
                a.bg = n - 100 + 8
            elif n in (38, 48) and i + 2 < len(numbers) and numbers[i + 1] == 5:
                if n == 38:
                    a.fg = numbers[i + 2]
                else:
                    a.bg = numbers[i + 2]
                i += 2
            i += 1


# Keys as xterm sends them with the keypad in application mode (ncurses turns
# it on).
KEYS = {
    "tab": b"\t", "backtab": b"\x1b[Z", "enter": b"\r", "space": b" ", "escape": b"\x1b",
    "up": b"\x1bOA", "down": b"\x1bOB", "right": b"\x1bOC", "left": b"\x1bOD",
    "home": b"\x1bOH", "end": b"\x1bOF", "backspace": b"\x7f", "delete": b"\x1b[3~",
    "f10": b"\x1b[21~", "ctrl-q": b"\x11", "ctrl-u": b"\x15", "ctrl-c": b"\x03",
}


class Session:
    """A program on a pseudo-terminal of its own (its controlling terminal), with
    its standard error apart, read into a Screen."""

    def __init__(self, argv, env=None, rows=24, cols=80, cwd=None):
        self.screen = Screen(rows, cols)
        err_read, err_write = os.pipe()
        pid, fd = pty.fork()
        if pid == 0:
            try:
                os.dup2(err_write, 2)
                os.close(err_read)
                fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))
                if cwd:
                    os.chdir(cwd)
                os.execve(argv[0], argv, env if env is not None else os.environ)
            finally:
                os._exit(127)
        os.close(err_write)
        self.pid, self.fd, self.err_fd = pid, fd, err_read
        self.stderr = b""
        self.status = None

    def _pump(self, timeout):
        fds = [f for f in (self.fd, self.err_fd) if f is not None]
        if not fds:
            time.sleep(timeout)
            return
        ready, _, _ = select.select(fds, [], [], timeout)
        for f in ready:
            try:
                data = os.read(f, 65536)
            except OSError as e:
                if e.errno != errno.EIO:
                    raise
                data = b""
            if f == self.fd:
                if data:
                    self.screen.feed(data)
                else:
                    self.fd_closed()
            else:
                if data:
                    self.stderr += data
                else:
                    os.close(self.err_fd)
                    self.err_fd = None

    def fd_closed(self):
        if self.fd is not None:
            os.close(self.fd)
            self.fd = None

    def wait_for(self, predicate, timeout=10.0, what="the screen"):
        """Reads until predicate(screen) holds; raises on time-out."""
        end = time.monotonic() + timeout
        while True:
            if predicate(self.screen):
                return
            if time.monotonic() > end:
                raise AssertionError("timed out waiting for %s; screen:\n%s\nstderr: %s"
                                     % (what, self.screen.text(), self.stderr.decode(errors="replace")))
            self._pump(0.05)

    def wait_text(self, text, timeout=10.0):
        self.wait_for(lambda s: s.find(text) is not None, timeout, repr(text))

    def settle(self, quiet=0.25, timeout=5.0):
        """Reads until the program has written nothing for a moment."""
        end = time.monotonic() + timeout
        before = None
        while time.monotonic() < end:
            snapshot = self.screen.text()
            self._pump(quiet)
            if snapshot == self.screen.text() and snapshot == before:
                return
            before = snapshot

    def send(self, *keys):
        for key in keys:
            data = KEYS.get(key, key.encode("utf-8") if isinstance(key, str) else key)
            os.write(self.fd, data)
            # A lone Esc is told from the start of a key sequence by a pause.
            time.sleep(0.12 if data == b"\x1b" else 0.02)
            self._pump(0.0)

    def wait_exit(self, timeout=10.0):
        """The program's exit status, once it has ended and its output is read."""
        end = time.monotonic() + timeout
        while self.status is None:
            done, status = os.waitpid(self.pid, os.WNOHANG)
            if done:
                self.status = os.waitstatus_to_exitcode(status)
                break
            if time.monotonic() > end:
                self.kill()
                raise AssertionError("the program did not end; screen:\n%s" % self.screen.text())
            self._pump(0.05)
        drained = time.monotonic() + 2.0
        while (self.fd is not None or self.err_fd is not None) and time.monotonic() < drained:
            self._pump(0.05)
        return self.status

    def kill(self):
        if self.status is None:
            try:
                os.kill(self.pid, signal.SIGKILL)
                os.waitpid(self.pid, 0)
            except OSError:
                pass
            self.status = -9
        self.fd_closed()
