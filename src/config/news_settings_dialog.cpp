#include "config/news_settings_dialog.h"

#include "config/instance_settings.h"
#include "config/site_table.h"
#include "text/number.h"
#include "text/text.h"

namespace vardel::config {
namespace {

using namespace news_settings;
using namespace platform::style;
using platform::ControlSpec;
using platform::DialogView;

constexpr std::uint32_t kShown = kChild | kVisible;
constexpr std::uint32_t kLineBox = kShown | kEsCenter | kEsAutoHScroll | kTabStop;
constexpr std::uint32_t kTextBox = kShown | kEsAutoHScroll | kTabStop;
constexpr std::uint32_t kRadio = kShown | kBsAutoRadioButton;
constexpr std::uint32_t kCheckBox = kShown | kBsAutoCheckBox | kTabStop;

// Creation order is tab order. "Ticker" starts the second radio group and
// "Okay" ends it.
constexpr ControlSpec kControls[] = {
    {kSiteLabel, "STATIC", "News-Site", 8, 4, 42, 10, kShown, 0},
    {kSiteList, "COMBOBOX", "", 51, 2, 120, 75, kShown | kCbsDropDownList | kCbsAutoHScroll | kVScroll | kTabStop, 0},
    {kNews, "BUTTON", "News", 9, 17, 42, 12, kRadio | kTabStop, 0},
    {kFreestyle, "BUTTON", "Freestyle", 52, 17, 42, 12, kRadio | kTabStop, 0},
    {kStartLine, "EDIT", "1", 39, 36, 28, 12, kLineBox, kExClientEdge | kExTransparent},
    {kEndLine, "EDIT", "0", 99, 36, 28, 12, kLineBox, kExClientEdge},
    {kStartLabel, "STATIC", "Startline", 9, 38, 30, 10, kShown, 0},
    {kEndLabel, "STATIC", "Endline", 69, 38, 30, 10, kShown, 0},
    {kTicker, "BUTTON", "Ticker", 39, 58, 38, 10, kRadio | kBsLeft | kGroup, 0},
    {kList, "BUTTON", "List", 83, 58, 38, 10, kRadio | kTabStop, 0},
    {kStyleBox, "BUTTON", "Style", 9, 52, 118, 18, kShown | kBsGroupBox | kBsLeft, 0},
    {kOkay, "BUTTON", "Okay", 130, 145, 54, 16, kShown | kBsPushButton | kBsCenter | kBsVCenter | kGroup | kTabStop, 0},
    {kKeyNode, "EDIT", "item", 45, 85, 134, 12, kTextBox, kExClientEdge},
    {kKeyNodeLabel, "STATIC", "KeyNode", 13, 87, 32, 10, kShown, 0},
    {kTemplate, "EDIT", "<title>%l<link>", 45, 97, 134, 12, kTextBox, kExClientEdge},
    {kTemplateLabel, "STATIC", "Template", 13, 99, 30, 10, kShown, 0},
    {kSeparator, "STATIC", "Line3", 7, 30, 175, 1, kShown | kSsEtchedFrame, 0},
    {kFreestyleBox, "BUTTON", "Freestyleoption", 9, 72, 175, 68, kShown | kBsGroupBox, 0},
    {kInterval, "EDIT", "5", 75, 147, 21, 12, kLineBox, kExClientEdge | kExRight},
    {kIntervalLabel, "STATIC", "Updateintervall", 13, 148, 58, 10, kShown, 0},
    {kMinutesLabel, "STATIC", "min", 98, 148, 18, 10, kShown, kExRight},
    {kIntervalFrame, "STATIC", "Line1", 9, 144, 112, 18, kShown | kSsEtchedFrame, 0},
    {kRemoveString, "EDIT", "", 45, 109, 134, 12, kTextBox, kExClientEdge},
    {kRemoveStringLabel, "STATIC", "Flt String", 13, 111, 31, 10, kShown, 0},
    {kFilterHtml, "BUTTON", "Filter html", 45, 122, 46, 8, kCheckBox, 0},
    {kFilterWrap, "BUTTON", "Filter wrap", 91, 122, 48, 8, kCheckBox, 0},
    {kReplaceHtmlChar, "BUTTON", "Replace HtmlChar ", 45, 131, 94, 8, kCheckBox, 0},
};

constexpr platform::DialogSpec kDialog = {
    "News Settings",
    280,
    223,
    190,
    174,
    kPopup | kClipSiblings | kCaption | kSysMenu | kDsModalFrame | kDsSetFont | kDsNoFailCreate | kDs3dLook,
    kExWindowEdge | kExControlParent | kExStaticEdge | kExAppWindow,
    "MS Sans Serif",
    8,
    platform::FocusKeeping::OnActivate,
    kControls,
};

// The number a line box or line field holds (texts that are no number are 0).
double LineNumber(std::string_view text) { return text::NumberFromText(text); }

class NewsSettingsHandler final : public platform::DialogHandler {
public:
    explicit NewsSettingsHandler(std::int32_t instance) : instance_(instance) {}

    void OnInitDialog(DialogView& view) override {
        if (SiteTable().empty()) LoadSites();
        FillSiteList(view, kSiteList, LastSiteNumber());
        view.CheckRadio(kNews, kFreestyle, kNews);
        if (HasSettingsRecord(instance_)) ShowRecord(view, SettingsOf(instance_));
        ApplyEnablingRule(view);
    }

    void OnCommand(DialogView& view, int id, int code) override {
        ApplyEnablingRule(view);
        if (id == kOkay && (code == 0 || code == 1)) Confirm(view);
    }

private:
    // Fills the controls from the record. The line boxes are compared as texts,
    // byte by byte, not as numbers; the interval box always keeps its "5".
    static void ShowRecord(DialogView& view, InstanceSettings& s) {
        // "News" is already checked, also for kinds other than the two known ones.
        if (s.SiteType == kSiteTypeFreestyle) view.CheckRadio(kNews, kFreestyle, kFreestyle);

        view.Select(kSiteList, s.SiteIndex >= 1 ? s.SiteIndex - 1 : 0);

        // A start line that does not sort after "1" (0, -1, 1) shows as "1".
        if (text::CompareBytes(s.StartZeile.View(), "1") > 0) view.SetText(kStartLine, s.StartZeile.View());

        if (text::TrimBlanks(s.EndZeile.View()).empty()) s.EndZeile = "1";
        const std::string_view start = text::TrimBlanks(s.StartZeile.View());
        const std::string_view end = text::TrimBlanks(s.EndZeile.View());
        const bool endBeforeStart = text::LooksNumeric(start) && text::CompareBytes(end, start) < 0;
        view.SetText(kEndLine, endBeforeStart ? s.StartZeile.View() : s.EndZeile.View());

        if (s.Style > 1000) view.CheckRadio(kTicker, kList, s.Style);

        const std::string_view keyNode = text::TrimBlanks(s.KeyNode.View());
        if (!keyNode.empty()) view.SetText(kKeyNode, keyNode);
        const std::string_view templateText = text::TrimBlanks(s.Template.View());
        if (!templateText.empty()) view.SetText(kTemplate, templateText);

        view.SetText(kRemoveString, s.RS.View());
        view.SetChecked(kFilterHtml, s.FLTHTML != 0);
        view.SetChecked(kFilterWrap, s.FLTWrap != 0);
        view.SetChecked(kReplaceHtmlChar, s.FLTHTMLCode != 0);
    }

    // The style radios need a range of more than one line and the "News" kind;
    // the key node and template belong to the "Freestyle" kind.
    static void ApplyEnablingRule(DialogView& view) {
        const bool freestyle = view.IsChecked(kFreestyle);
        const bool range = LineNumber(view.Text(kEndLine)) > LineNumber(view.Text(kStartLine));
        for (int id : {kTicker, kList, kStyleBox}) view.Enable(id, range && !freestyle);
        for (int id : {kKeyNode, kTemplate, kKeyNodeLabel, kTemplateLabel, kFreestyleBox}) view.Enable(id, freestyle);
    }

    // "Okay": the controls go into the record, each text cut to its field.
    void Confirm(DialogView& view) {
        if (!HasSettingsRecord(instance_)) {
            view.End(kNewsSettingsConfirmed);
            return;
        }
        // Looked up now, not kept from the opening: while the dialog is open the
        // host may open instances, which moves the records.
        InstanceSettings& s = SettingsOf(instance_);
        if (view.IsChecked(kNews))
            s.SiteType = kSiteTypeNews;
        else if (view.IsChecked(kFreestyle))
            s.SiteType = kSiteTypeFreestyle;

        const int selected = view.Selected(kSiteList);
        s.SiteName = selected >= 0 ? view.ItemText(kSiteList, selected) : std::string();

        const std::int16_t minutes = text::Int16FromText(view.Text(kInterval));
        s.SiteIndex = FindSite(s.SiteName.View());
        if (IsSiteNumber(s.SiteIndex)) SiteTable()[static_cast<std::size_t>(s.SiteIndex)].RefreshMinutes = minutes;
        s.Refreshrate = minutes;

        s.StartZeile = view.Text(kStartLine);
        s.EndZeile = view.Text(kEndLine);
        if (LineNumber(s.EndZeile.View()) > LineNumber(s.StartZeile.View()))
            s.Style = view.IsChecked(kList) ? kStyleList : kStyleTicker;
        else
            s.Style = kStyleDefault;

        if (view.IsChecked(kFreestyle)) {
            s.KeyNode = view.Text(kKeyNode);
            s.Template = view.Text(kTemplate);
        } else {
            s.KeyNode.Clear();
            s.Template.Clear();
        }

        s.RS = view.Text(kRemoveString);
        s.FLTHTML = view.IsChecked(kFilterHtml) ? 1 : 0;
        s.FLTWrap = view.IsChecked(kFilterWrap) ? 1 : 0;
        s.FLTHTMLCode = view.IsChecked(kReplaceHtmlChar) ? 1 : 0;
        view.End(kNewsSettingsConfirmed);
    }

    // 32 bits: every instance number the host can be handed is edited as itself.
    std::int32_t instance_;
};

}  // namespace

const platform::DialogSpec& NewsSettingsDialog() { return kDialog; }

void FillSiteList(DialogView& view, int listId, std::int32_t siteCount) {
    view.UseExtendedKeys(listId);
    const std::vector<SiteEntry>& table = SiteTable();
    for (std::int32_t site = 1; site <= siteCount && static_cast<std::size_t>(site) < table.size(); ++site) {
        // The name without the blanks that pad its field: the item's text becomes
        // SiteName on "Okay".
        view.AddItem(listId, text::TrimBlanks(table[static_cast<std::size_t>(site)].Name.View()));
    }
}

int ShowNewsSettings(platform::HostWindowHandle owner, std::int32_t instance) {
    platform::DialogService* dialogs = platform::Services().dialogs;
    if (!dialogs) return 0;
    NewsSettingsHandler handler(instance);
    return dialogs->RunModal(owner, kDialog, handler) == kNewsSettingsConfirmed ? kNewsSettingsConfirmed : 0;
}

}  // namespace vardel::config
