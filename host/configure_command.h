// newsmeter's commands for setting meters up through the plug-in's own dialogs:
//
//   newsmeter configure [--meter NAME] [--profile FILE] [--library PATH] FOLDER
//       the news settings of one meter (source_configure), then saved into the
//       host profile (src_save_settings); a meter without a section yet is new;
//   newsmeter options [--profile FILE] [--library PATH] FOLDER
//       the plug-in's options (configure), then every meter saved, which carries
//       the disk-copy flag into the profile.
//
// On Linux the dialogs are forms on the terminal; on Windows they are the
// plug-in's dialog boxes.
#pragma once

namespace newsmeter {

// True when the first argument names one of the commands.
bool IsConfigureCommand(int argc, char** argv);

// Runs the command; the result is the exit status (0 done, 1 trouble, 2 wrong
// arguments).
int RunConfigureCommand(int argc, char** argv);

}  // namespace newsmeter
