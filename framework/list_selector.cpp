// The list selector pages and sheet: boxes, buttons, "name=>value" sources and the modal run.
#include "framework/list_selector.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <utility>

#include "framework/arg_number.h"

namespace {

namespace ids = ListSelectorIds;
namespace caps = ListSelectorCaptions;

const char kNull[] = "(null)";

enum class Typed { kText, kNumber, kRefused };

// An item or page number typed as digits only. One no index can be is refused (error says so),
// never cut to another number.
Typed ReadTypedNumber(const CString& text, const char* what, int& number, CString& error) {
    const bool digits = !text.IsEmpty() && std::all_of(text.str().begin(), text.str().end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
    if (!digits) return Typed::kText;
    constexpr platform::NumberField kIndex{0, INT32_MAX};
    const platform::FieldScan read = platform::ReadField(text.c_str(), platform::NumberForm::Decimal, kIndex);
    if (read.fit != platform::NumberFit::Fits) {
        error = RefusedArgument(what, text, kIndex);
        error.TrimRight();
        return Typed::kRefused;
    }
    number = static_cast<int>(read.value);
    return Typed::kNumber;
}

CString JoinArgs(const std::vector<CString>& args) {
    CString text;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) text += ' ';
        text += args[i];
    }
    return text;
}

// "n [x] text" with ">" in front of the item that has the caret.
CString ItemLine(const CSelectorListBox& box, int index) {
    CString line;
    line.Format("%c%2d [%c] %s", box.GetCaret() == index ? '>' : ' ', index, box.IsSelected(index) ? 'x' : ' ',
                box.GetText(index).c_str());
    return line;
}

// The two boxes side by side, as the page lays them out.
CString BoxesSideBySide(const CSelectorListBox& sources, const CSelectorListBox& selections) {
    std::vector<CString> left, right;
    CString heading;
    heading.Format("%s (%d)", caps::kSources, ids::kSources);
    left.push_back(heading);
    heading.Format("%s (%d)", caps::kSelections, ids::kSelections);
    right.push_back(heading);
    for (int i = 0; i < sources.GetCount(); ++i) left.push_back(ItemLine(sources, i));
    if (sources.GetCount() == 0) left.push_back("   (empty)");
    for (int i = 0; i < selections.GetCount(); ++i) right.push_back(ItemLine(selections, i));
    if (selections.GetCount() == 0) right.push_back("   (empty)");

    int width = 0;
    for (const CString& l : left) width = std::max(width, l.GetLength());
    CString text;
    for (size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
        CString l = i < left.size() ? left[i] : CString();
        CString r = i < right.size() ? right[i] : CString();
        CString line;
        line.Format("%-*s  | %s", width, l.c_str(), r.c_str());
        line.TrimRight();
        text += line + "\n";
    }
    return text;
}

}  // namespace

// ---- CSelectorListBox ----

CString CSelectorListBox::GetText(int index) const {
    if (index < 0 || index >= GetCount()) return CString();
    return m_items[static_cast<size_t>(index)].text;
}

bool CSelectorListBox::IsSelected(int index) const {
    return index >= 0 && index < GetCount() && m_items[static_cast<size_t>(index)].selected;
}

int CSelectorListBox::GetSelectedCount() const {
    return static_cast<int>(std::count_if(m_items.begin(), m_items.end(), [](const Item& item) { return item.selected; }));
}

void CSelectorListBox::AddItem(const CString& text, const CString& entry) { m_items.push_back({text, entry, false}); }

void CSelectorListBox::DeleteItem(int index) {
    if (index < 0 || index >= GetCount()) return;
    m_items.erase(m_items.begin() + index);
    if (m_caret > index || m_caret >= GetCount()) --m_caret;
}

void CSelectorListBox::ResetContent() {
    m_items.clear();
    m_caret = -1;
}

void CSelectorListBox::SetSel(int index, bool selected) {
    if (index >= 0 && index < GetCount()) m_items[static_cast<size_t>(index)].selected = selected;
}

void CSelectorListBox::Click(int index) {
    if (index < 0 || index >= GetCount()) return;
    m_items[static_cast<size_t>(index)].selected = !m_items[static_cast<size_t>(index)].selected;
    m_caret = index;
}

int CSelectorListBox::Resolve(const CString& name, const std::vector<int>& taken, CString& error) const {
    auto free = [&](int i) { return std::find(taken.begin(), taken.end(), i) == taken.end(); };
    int index = -1;
    switch (ReadTypedNumber(name, "item", index, error)) {
    case Typed::kNumber: return index < GetCount() && free(index) ? index : -1;
    case Typed::kRefused: return -1;
    case Typed::kText: break;
    }
    for (int i = 0; i < GetCount(); ++i)
        if (free(i) && GetText(i) == name) return i;
    for (int i = 0; i < GetCount(); ++i)
        if (free(i) && GetText(i).CompareNoCase(name) == 0) return i;
    return -1;
}

// ---- CListSelectorPage ----

CListSelectorPage::CListSelectorPage(int templateId, const char* caption, CString separator, bool splitsValues,
                                     ValueField value, bool hasAddCmd)
    : m_separator(std::move(separator)),
      m_hasAddCmd(hasAddCmd),
      m_templateId(templateId),
      m_caption(caption),
      m_splitsValues(splitsValues),
      m_valueField(value) {}

void CListSelectorPage::SetSelectionEntries(const CStrList& list) {
    m_defaults = list;
    m_result = list;
}

bool CListSelectorPage::Split(const CString& entry, CString& display, CString& value) const {
    if (!m_splitsValues || m_separator.IsEmpty()) return false;
    int at = entry.Find(m_separator.c_str());
    if (at < 0) return false;
    display = entry.Left(at);
    display.Trim();
    value = entry.Mid(at + m_separator.GetLength());
    value.Trim();
    return true;
}

void CListSelectorPage::DestroyWindow() {
    m_sourcesBox.ResetContent();
    m_selectionsBox.ResetContent();
    m_values.clear();
    m_valueText.Empty();
    m_valueVisible = false;
    m_initialised = false;
}

BOOL CListSelectorPage::OnInitDialog() {
    DestroyWindow();
    CString display, value;
    for (const CString& entry : m_sources.GetEntries()) {
        if (Split(entry, display, value)) {
            m_values[display] = value;
            m_sourcesBox.AddItem(display);
        } else {
            m_sourcesBox.AddItem(entry);
        }
    }
    for (const CString& entry : m_defaults.GetEntries()) {
        if (Split(entry, display, value)) {
            // A selection whose name the sources know gets the sources' value back on OK; any
            // other keeps its own, which the name alone would lose.
            m_selectionsBox.AddItem(display, m_values.count(display) ? display : entry);
        } else {
            m_selectionsBox.AddItem(entry);
        }
    }
    m_valueVisible = m_valueField != ValueField::kNone;
    m_initialised = true;
    return TRUE;
}

BOOL CListSelectorPage::OnKillActive() {
    m_result.FreeStrings();
    for (int i = 0; i < m_selectionsBox.GetCount(); ++i) m_result.Add(m_selectionsBox.GetItem(i).entry);
    return TRUE;
}

void CListSelectorPage::OnAdd() {
    for (int i = 0; i < m_sourcesBox.GetCount(); ++i) {
        if (!m_sourcesBox.IsSelected(i)) continue;
        m_selectionsBox.AddItem(m_sourcesBox.GetText(i));
        m_sourcesBox.SetSel(i, false);
    }
}

void CListSelectorPage::OnAddAll() {
    m_selectionsBox.ResetContent();
    for (int i = 0; i < m_sourcesBox.GetCount(); ++i) m_selectionsBox.AddItem(m_sourcesBox.GetText(i));
}

void CListSelectorPage::OnRemove() {
    for (int i = m_selectionsBox.GetCount() - 1; i >= 0; --i)
        if (m_selectionsBox.IsSelected(i)) m_selectionsBox.DeleteItem(i);
}

void CListSelectorPage::OnRemoveAll() {
    for (int i = 0; i < m_selectionsBox.GetCount(); ++i) m_selectionsBox.SetSel(i, true);
    OnRemove();
}

void CListSelectorPage::OnDefault() {
    m_result = m_defaults;
    m_selectionsBox.ResetContent();
    for (const CString& entry : m_defaults.GetEntries()) m_selectionsBox.AddItem(entry);
}

void CListSelectorPage::OnAddCmdPressed() {
    if (m_valueText.IsEmpty() || m_valueText == kNull) return;
    m_selectionsBox.AddItem(m_valueText);
}

void CListSelectorPage::ClickSources(int index) {
    if (index < 0 || index >= m_sourcesBox.GetCount()) return;
    m_sourcesBox.Click(index);
    OnSelchangeSources();
}

void CListSelectorPage::ClickSelections(int index) {
    if (index < 0 || index >= m_selectionsBox.GetCount()) return;
    m_selectionsBox.Click(index);
    OnSelchangeSelections();
}

void CListSelectorPage::GetSelectionEntries(CStrList& out) const {
    out.FreeStrings();
    for (const CString& entry : m_result.GetEntries()) {
        auto found = m_values.find(entry);
        out.Add(found == m_values.end() ? entry : entry + m_separator + found->second);
    }
}

bool CListSelectorPage::SelectByName(CSelectorListBox& box, bool sources, const std::vector<CString>& names,
                                     CString& error) {
    // Resolve every name before touching the box, so a mistyped one changes nothing.
    std::vector<int> chosen;
    for (const CString& name : names) {
        int index = box.Resolve(name, chosen, error);
        if (index < 0) {
            if (error.IsEmpty()) error.Format("No item \"%s\" in %s", name.c_str(), sources ? caps::kSources : caps::kSelections);
            return false;
        }
        chosen.push_back(index);
    }
    for (int index : chosen) {
        if (box.IsSelected(index)) continue;
        if (sources) ClickSources(index);
        else ClickSelections(index);
    }
    return true;
}

CString CListSelectorPage::Describe() const {
    CString text = BoxesSideBySide(m_sourcesBox, m_selectionsBox);
    if (m_valueField != ValueField::kNone && m_valueVisible) {
        CString line;
        line.Format("%s (%d%s): %s\n", caps::kValue, ids::kValue,
                    m_valueField == ValueField::kReadOnly ? ", read-only" : "", m_valueText.c_str());
        text += line;
    }
    CString buttons;
    buttons.Format("Buttons: add [item...] \"%s\" (%d) | addall \"%s\" (%d)", caps::kAdd, ids::kAdd, caps::kAddAll,
                   ids::kAddAll);
    if (m_hasAddCmd) buttons.AppendFormat(" | addcmd [text] \"%s\" (%d)", caps::kAddCmd, ids::kAddCmd);
    buttons.AppendFormat("\n         remove [item...] \"%s\" (%d) | removeall \"%s\" (%d) | default \"%s\" (%d)",
                         caps::kRemove, ids::kRemove, caps::kRemoveAll, ids::kRemoveAll, caps::kDefault, ids::kDefault);
    text += buttons + "\n";
    text += "Also: click sources|selections <item>";
    if (m_valueField == ValueField::kEditable) text += " | value <text>";
    text += " (items by number or text)\n";
    return text;
}

bool CListSelectorPage::Apply(const platform::DialogAction& action, CString& error) {
    const CString& verb = action.verb;
    if (verb == "add") {
        if (!SelectByName(m_sourcesBox, true, action.args, error)) return false;
        OnAdd();
        return true;
    }
    if (verb == "remove") {
        if (!SelectByName(m_selectionsBox, false, action.args, error)) return false;
        OnRemove();
        return true;
    }
    if (verb == "addall" || verb == "removeall" || verb == "default") {
        if (!action.args.empty()) {
            error.Format("\"%s\" takes no items", verb.c_str());
            return false;
        }
        if (verb == "addall") OnAddAll();
        else if (verb == "removeall") OnRemoveAll();
        else OnDefault();
        return true;
    }
    if (verb == "click") {
        if (action.args.size() != 2) {
            error = "Usage: click sources|selections <item>";
            return false;
        }
        bool sources = action.args[0].CompareNoCase(caps::kSources) == 0;
        if (!sources && action.args[0].CompareNoCase(caps::kSelections) != 0) {
            error.Format("No list \"%s\"; use sources or selections", action.args[0].c_str());
            return false;
        }
        CSelectorListBox& box = sources ? m_sourcesBox : m_selectionsBox;
        int index = box.Resolve(action.args[1], {}, error);
        if (index < 0) {
            if (error.IsEmpty()) error.Format("No item \"%s\" in %s", action.args[1].c_str(), sources ? caps::kSources : caps::kSelections);
            return false;
        }
        if (sources) ClickSources(index);
        else ClickSelections(index);
        return true;
    }
    if (verb == "value" || verb == "addcmd") {
        if (verb == "addcmd" && !m_hasAddCmd) {
            error = "This page has no Add Cmd button";
            return false;
        }
        if (verb == "value" || !action.args.empty()) {
            if (m_valueField != ValueField::kEditable) {
                error = m_valueField == ValueField::kNone ? "This page has no Value field"
                                                          : "The Value field is read-only on this page";
                return false;
            }
            m_valueText = JoinArgs(action.args);
        }
        if (verb == "addcmd") OnAddCmdPressed();
        return true;
    }
    error.Format("Unknown action \"%s\"", verb.c_str());
    return false;
}

// ---- the three pages ----

CDlgListSelector::CDlgListSelector(CString separator)
    : CListSelectorPage(ids::kTemplateGeneric, caps::kImages, std::move(separator), true, ValueField::kEditable, true) {}

BOOL CDlgListSelector::GetSelections(CStrList& out) const {
    GetSelectionEntries(out);
    return TRUE;
}

void CDlgListSelector::OnSelchangeSources() {
    int caret = m_sourcesBox.GetCaret();
    if (caret >= 0) SetValueText(m_sourcesBox.GetText(caret));
}

void CDlgListSelector::OnSelchangeSelections() {
    int caret = m_selectionsBox.GetCaret();
    if (caret >= 0) SetValueText(m_selectionsBox.GetText(caret));
}

CDlgListSelectorImage::CDlgListSelectorImage(CString separator)
    : CListSelectorPage(ids::kTemplateImage, caps::kImages, std::move(separator), true, ValueField::kReadOnly, false) {}

BOOL CDlgListSelectorImage::GetSelections(CStrListImages& out) const {
    GetSelectionEntries(out);
    return TRUE;
}

BOOL CDlgListSelectorImage::OnInitDialog() {
    CListSelectorPage::OnInitDialog();
    // The Value row only makes sense when some source carries a value.
    m_valueVisible = !m_values.empty();
    return TRUE;
}

void CDlgListSelectorImage::OnSelchangeSources() {
    int caret = m_sourcesBox.GetCaret();
    if (caret < 0) return;
    auto found = m_values.find(m_sourcesBox.GetText(caret));
    SetValueText(found == m_values.end() ? CString(kNull) : found->second);
}

CDlgListSelectorResolution::CDlgListSelectorResolution(CString separator)
    : CListSelectorPage(ids::kTemplateResolution, caps::kResolutions, std::move(separator), false, ValueField::kNone,
                        false) {}

BOOL CDlgListSelectorResolution::GetSelections(CStrListResolutions& out) const {
    GetSelectionEntries(out);
    return TRUE;
}

// ---- COptionsSheetListSelector ----

COptionsSheetListSelector::COptionsSheetListSelector(CWnd* parent)
    : m_pageGeneric(kListSelectorSeparator),
      m_pageImage(kListSelectorSeparator),
      m_pageResolution(kListSelectorSeparator),
      m_parent(parent) {
    m_pageGeneric.SetOwner(this);
    m_pageImage.SetOwner(this);
    m_pageResolution.SetOwner(this);
}

void COptionsSheetListSelector::SetSources(const CStrList& list) {
    m_sources = list;
    m_pageGeneric.SetSources(list);
}

void COptionsSheetListSelector::SetSelections(const CStrList& list) {
    m_selections = list;
    m_pageGeneric.SetSelections(list);
}

int COptionsSheetListSelector::GetSelections(CStrList& out) const {
    out = m_selections;
    return 1;
}

void COptionsSheetListSelector::SetImageResolutionSources(const CStrListImages& images,
                                                          const CStrListResolutions& resolutions) {
    m_imageSources = images;
    m_resolutionSources = resolutions;
    m_pageImage.SetSources(images);
    m_pageResolution.SetSources(resolutions);
}

void COptionsSheetListSelector::SetImageResolutionSelections(const CStrListImages& images,
                                                             const CStrListResolutions& resolutions) {
    m_imageSelections = images;
    m_resolutionSelections = resolutions;
    m_pageImage.SetSelections(images);
    m_pageResolution.SetSelections(resolutions);
}

int COptionsSheetListSelector::GetImageResolutionSelections(CStrListImages& images,
                                                            CStrListResolutions& resolutions) const {
    images = m_imageSelections;
    resolutions = m_resolutionSelections;
    return 1;
}

CListSelectorPage* COptionsSheetListSelector::GetPage(int index) const {
    return index >= 0 && index < GetPageCount() ? m_pages[static_cast<size_t>(index)] : nullptr;
}

bool COptionsSheetListSelector::SetActivePage(int index) {
    CListSelectorPage* page = GetPage(index);
    if (!page) return false;
    if (index == m_active) return true;
    if (CListSelectorPage* current = GetPage(m_active)) current->OnKillActive();
    if (!page->IsInitialised()) page->OnInitDialog();
    m_active = index;
    return true;
}

int COptionsSheetListSelector::DoModal() {
    for (CListSelectorPage* page : m_pages) page->DestroyWindow();
    m_pages.clear();
    m_active = -1;
    if (!m_sources.IsEmpty()) m_pages.push_back(&m_pageGeneric);
    if (!m_imageSources.IsEmpty()) m_pages.push_back(&m_pageImage);
    if (!m_resolutionSources.IsEmpty()) m_pages.push_back(&m_pageResolution);
    if (m_pages.empty()) return platform::IDCANCEL;

    SetActivePage(0);
    int result = platform::DoModal(*this);
    if (result != platform::IDOK) return result;

    // A page that was not shown hands back the selections it was given.
    CStrList generic;
    CStrListImages images;
    CStrListResolutions resolutions;
    if (!m_pageGeneric.GetSelections(generic) || !m_pageImage.GetSelections(images) ||
        !m_pageResolution.GetSelections(resolutions))
        return platform::IDCANCEL;
    m_selections = generic;
    m_imageSelections = images;
    m_resolutionSelections = resolutions;
    return platform::IDOK;
}

CString COptionsSheetListSelector::GetTitle() const { return caps::kSheet; }

CString COptionsSheetListSelector::Describe() const {
    CString text = caps::kSheet;
    text += "\nPages:";
    for (int i = 0; i < GetPageCount(); ++i) {
        const CListSelectorPage* page = m_pages[static_cast<size_t>(i)];
        text.AppendFormat(i == m_active ? " [%d: %s (%d)]" : " %d: %s (%d)", i, page->GetCaption().c_str(),
                          page->GetTemplateId());
    }
    text += "\n";
    if (const CListSelectorPage* page = GetPage(m_active)) text += page->Describe();
    text += "Sheet: page <number> | ok | cancel\n";
    return text;
}

bool COptionsSheetListSelector::Apply(const platform::DialogAction& action, CString& error) {
    if (action.verb == "page") {
        int number = -1;
        const Typed typed = action.args.size() == 1 ? ReadTypedNumber(action.args[0], "page", number, error) : Typed::kText;
        if (typed == Typed::kRefused) return false;
        if (typed != Typed::kNumber) {
            error = "Usage: page <number>";
            return false;
        }
        if (!SetActivePage(number)) {
            error.Format("No page %s", action.args[0].c_str());
            return false;
        }
        return true;
    }
    CListSelectorPage* page = GetPage(m_active);
    if (!page) {
        error = "No page is shown";
        return false;
    }
    return page->Apply(action, error);
}

bool COptionsSheetListSelector::OnOk(CString& error) {
    (void)error;
    if (CListSelectorPage* page = GetPage(m_active)) return page->OnKillActive() != FALSE;
    return true;
}

int EditImageResolutionLists(CStrListImages& images, CStrListResolutions& resolutions, int preset) {
    CStrListImages imageSources;
    CStrListResolutions resolutionSources;
    if (!imageSources.SetDefaults(preset, TRUE) || !resolutionSources.SetDefaults(preset)) return platform::IDCANCEL;
    COptionsSheetListSelector sheet(platform::GetMainWnd());
    sheet.SetImageResolutionSources(imageSources, resolutionSources);
    sheet.SetImageResolutionSelections(images, resolutions);
    int result = sheet.DoModal();
    sheet.GetImageResolutionSelections(images, resolutions);
    return result;
}
