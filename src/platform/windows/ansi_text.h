// Texts at the automation boundary: the plug-in's single-byte ANSI texts to and
// from the UTF-16 the components speak.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace vardel::platform::windows_layer {

// ANSI bytes to UTF-16, one unit per byte for the single-byte code pages.
std::wstring WidenAnsi(std::string_view text, UINT codePage = CP_ACP);

// UTF-16 to ANSI bytes without best-fit mapping: every UTF-16 unit the code page
// lacks becomes its default character ("?"), so a character outside the Basic
// Multilingual Plane becomes "??". Code pages that refuse that flag (UTF-8 as the
// system code page) convert without it, losslessly.
std::string NarrowToAnsi(std::wstring_view text, UINT codePage = CP_ACP);

}  // namespace vardel::platform::windows_layer
