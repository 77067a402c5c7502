// The "News Settings" dialog: sets up one meter instance (its site, kind, line
// range, layout, template, interval, remove-string and filters). It changes the
// instance's settings record in memory (and the chosen site's interval); the
// host makes the change lasting with src_save_settings.
#pragma once

#include <cstdint>

#include "platform/dialogs.h"

namespace vardel::config {

// Control identifiers; the radio buttons' identifiers are the values stored in
// SiteType and Style.
namespace news_settings {
inline constexpr int kSiteLabel = 1002;
inline constexpr int kSiteList = 1001;
inline constexpr int kNews = 1003;
inline constexpr int kFreestyle = 1004;
inline constexpr int kStartLine = 1007;
inline constexpr int kEndLine = 1008;
inline constexpr int kStartLabel = 1009;
inline constexpr int kEndLabel = 1010;
inline constexpr int kTicker = 1011;
inline constexpr int kList = 1012;
inline constexpr int kStyleBox = 1014;
inline constexpr int kOkay = 1006;
inline constexpr int kKeyNode = 1017;
inline constexpr int kKeyNodeLabel = 1018;
inline constexpr int kTemplate = 1019;
inline constexpr int kTemplateLabel = 1020;
inline constexpr int kSeparator = 1021;
inline constexpr int kFreestyleBox = 1022;
inline constexpr int kInterval = 1023;
inline constexpr int kIntervalLabel = 1024;
inline constexpr int kMinutesLabel = 1025;
inline constexpr int kIntervalFrame = 1026;
inline constexpr int kRemoveString = 1031;
inline constexpr int kRemoveStringLabel = 1032;
inline constexpr int kFilterHtml = 1033;
inline constexpr int kFilterWrap = 1034;
inline constexpr int kReplaceHtmlChar = 1035;
}  // namespace news_settings

// The dialog and its controls, in creation order.
const platform::DialogSpec& NewsSettingsDialog();

// ShowNewsSettings' result when the dialog was closed with "Okay".
inline constexpr int kNewsSettingsConfirmed = 1;

// Builds, fills and runs the dialog for the instance, owned by owner. Returns 1
// when it was closed with "Okay", 0 when it was closed with the window's close
// command or could not be shown (then nothing changed). The instance's hold time
// is not the dialog's: the caller restarts it after a confirmation.
int ShowNewsSettings(platform::HostWindowHandle owner, std::int32_t instance);

// Fills the drop-down list with the names of sites 1 to siteCount, in site order
// (item k - 1 is site k), and makes it open with the Down key.
void FillSiteList(platform::DialogView& view, int listId, std::int32_t siteCount);

}  // namespace vardel::config
