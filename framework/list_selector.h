// The "List Selections" sheet and its pages, in which an operator builds a list from sources; a window-less model.
#pragma once

#include <map>
#include <vector>

#include "framework/str_list.h"
#include "platform/cstring.h"
#include "platform/dialog.h"
#include "platform/host_ui.h"
#include "platform/types.h"

// Dialog templates and controls of the pages; the model names its boxes and buttons by these ids.
namespace ListSelectorIds {
constexpr int kTemplateGeneric = 161;
constexpr int kTemplateResolution = 162;
constexpr int kTemplateImage = 163;

constexpr int kSources = 1001;
constexpr int kSelections = 1002;
constexpr int kAdd = 1003;
constexpr int kRemoveAll = 1004;
constexpr int kRemove = 1005;
constexpr int kAddAll = 1006;
constexpr int kDefault = 1007;
constexpr int kAddCmd = 1008;
constexpr int kValue = 1056;
constexpr int kValueLabel = 1057;
}  // namespace ListSelectorIds

namespace ListSelectorCaptions {
constexpr const char* kSheet = "List Selections";
constexpr const char* kImages = "Images";
constexpr const char* kResolutions = "Resolutions";
constexpr const char* kSources = "Sources";
constexpr const char* kSelections = "Selections";
constexpr const char* kAdd = "&Add -->";
constexpr const char* kAddAll = "A&dd All -->";
constexpr const char* kRemove = "<-- &Remove";
constexpr const char* kRemoveAll = "<-- Re&move All";
constexpr const char* kDefault = "<-- &Default";
constexpr const char* kAddCmd = "<-- Add &Cmd";
constexpr const char* kValue = "Value";
}  // namespace ListSelectorCaptions

// The separator between a display text and its value in a source entry ("GRID=>path").
constexpr const char* kListSelectorSeparator = "=>";

// An unsorted multiple-selection list box: a click toggles an item and puts the caret on it.
class CSelectorListBox {
public:
    struct Item {
        CString text;      // what the box shows
        CString entry;     // what leaving the page puts into the result: the text, except for a
                           // given selection whose value the sources do not know (kept whole)
        bool selected = false;
    };

    int GetCount() const { return static_cast<int>(m_items.size()); }
    const Item& GetItem(int index) const { return m_items[static_cast<size_t>(index)]; }
    CString GetText(int index) const;
    bool IsSelected(int index) const;
    int GetCaret() const { return m_caret; }
    int GetSelectedCount() const;

    void AddItem(const CString& text) { AddItem(text, text); }
    void AddItem(const CString& text, const CString& entry);
    void DeleteItem(int index);
    void ResetContent();
    void SetSel(int index, bool selected);
    void Click(int index);

    // The index an operator means by an item number or text (exact, then ignoring case), skipping
    // indices in taken; -1 when none, with error set when the number typed is too large for an
    // index (refused, never cut to one).
    int Resolve(const CString& name, const std::vector<int>& taken, CString& error) const;

private:
    std::vector<Item> m_items;
    int m_caret = -1;
};

class COptionsSheetListSelector;

// What the three pages share: the sources, the default selections, the result, and the two boxes
// with the buttons between them. The generic and image pages also split "name=>value" sources.
class CListSelectorPage {
public:
    virtual ~CListSelectorPage() = default;
    CListSelectorPage(const CListSelectorPage&) = delete;
    CListSelectorPage& operator=(const CListSelectorPage&) = delete;

    int GetTemplateId() const { return m_templateId; }
    CString GetCaption() const { return m_caption; }
    const CString& GetSeparator() const { return m_separator; }
    COptionsSheetListSelector* GetOwner() const { return m_owner; }
    void SetOwner(COptionsSheetListSelector* owner) { m_owner = owner; }

    // The page's window: filled by OnInitDialog when the page is first shown.
    bool IsInitialised() const { return m_initialised; }
    void DestroyWindow();
    virtual BOOL OnInitDialog();
    // Leaving the page (also on OK): the result becomes the entries of the Selections box.
    virtual BOOL OnKillActive();

    // Buttons.
    void OnAdd();
    void OnAddAll();
    void OnRemove();
    void OnRemoveAll();
    void OnDefault();
    // Notifications of the two boxes.
    virtual void OnSelchangeSources() {}
    virtual void OnSelchangeSelections() {}

    void ClickSources(int index);
    void ClickSelections(int index);

    const CSelectorListBox& GetSourcesBox() const { return m_sourcesBox; }
    const CSelectorListBox& GetSelectionsBox() const { return m_selectionsBox; }
    const CString& GetValueText() const { return m_valueText; }
    bool IsValueVisible() const { return m_valueVisible; }

    // The page as an operator sees it, and the actions typed on it (see Describe for the verbs).
    CString Describe() const;
    bool Apply(const platform::DialogAction& action, CString& error);

protected:
    enum class ValueField { kNone, kEditable, kReadOnly };

    CListSelectorPage(int templateId, const char* caption, CString separator, bool splitsValues, ValueField value,
                      bool hasAddCmd);

    void SetSourceEntries(const CStrList& list) { m_sources = list; }
    void SetSelectionEntries(const CStrList& list);
    // The result, each entry whose text is a display text of the map joined again to its value.
    void GetSelectionEntries(CStrList& out) const;

    // Splits entry at the separator into its display text and value, both trimmed; false when
    // the entry has no separator.
    bool Split(const CString& entry, CString& display, CString& value) const;
    void SetValueText(const CString& text) { m_valueText = text; }
    void OnAddCmdPressed();

    CString m_separator;
    CStrList m_sources;
    std::map<CString, CString> m_values;  // display text -> value
    CStrList m_defaults;
    CStrList m_result;
    CSelectorListBox m_sourcesBox;
    CSelectorListBox m_selectionsBox;
    CString m_valueText;
    bool m_valueVisible = false;
    bool m_initialised = false;
    bool m_hasAddCmd = false;
    COptionsSheetListSelector* m_owner = nullptr;

private:
    bool SelectByName(CSelectorListBox& box, bool sources, const std::vector<CString>& names, CString& error);

    int m_templateId;
    CString m_caption;
    bool m_splitsValues;
    ValueField m_valueField;
};

// The generic page (template 161): any list, e.g. commands. Its Value field is editable and "Add
// Cmd" adds what it holds.
class CDlgListSelector : public CListSelectorPage {
public:
    explicit CDlgListSelector(CString separator = kListSelectorSeparator);

    void SetSources(const CStrList& list) { SetSourceEntries(list); }
    void SetSelections(const CStrList& list) { SetSelectionEntries(list); }
    // Always TRUE.
    BOOL GetSelections(CStrList& out) const;

    void OnAddCmd() { OnAddCmdPressed(); }
    // Typing into the Value field.
    void SetValue(const CString& text) { SetValueText(text); }
    void OnSelchangeSources() override;
    void OnSelchangeSelections() override;
};

// The image page (template 163): pattern names; a source may carry the path of its reference
// image, shown read-only in the Value field.
class CDlgListSelectorImage : public CListSelectorPage {
public:
    explicit CDlgListSelectorImage(CString separator = kListSelectorSeparator);

    void SetSources(const CStrListImages& list) { SetSourceEntries(list); }
    void SetSelections(const CStrListImages& list) { SetSelectionEntries(list); }
    // Always TRUE.
    BOOL GetSelections(CStrListImages& out) const;

    BOOL OnInitDialog() override;
    void OnSelchangeSources() override;
};

// The resolution page (template 162): entries are taken as they are, without values.
class CDlgListSelectorResolution : public CListSelectorPage {
public:
    explicit CDlgListSelectorResolution(CString separator = kListSelectorSeparator);

    void SetSources(const CStrListResolutions& list) { SetSourceEntries(list); }
    void SetSelections(const CStrListResolutions& list) { SetSelectionEntries(list); }
    // Always TRUE.
    BOOL GetSelections(CStrListResolutions& out) const;
};

// The modal "List Selections" sheet: a generic, an image and a resolution page, each shown only
// when it has sources. Callers set sources and selections, run DoModal once and read the
// selections back: after OK the operator's choice, otherwise what they set.
class COptionsSheetListSelector : public platform::DialogModel {
public:
    explicit COptionsSheetListSelector(CWnd* parent = nullptr);
    COptionsSheetListSelector(const COptionsSheetListSelector&) = delete;
    COptionsSheetListSelector& operator=(const COptionsSheetListSelector&) = delete;

    void SetSources(const CStrList& list);
    void SetSelections(const CStrList& list);
    // Always 1.
    int GetSelections(CStrList& out) const;

    void SetImageResolutionSources(const CStrListImages& images, const CStrListResolutions& resolutions);
    void SetImageResolutionSelections(const CStrListImages& images, const CStrListResolutions& resolutions);
    // Always 1.
    int GetImageResolutionSelections(CStrListImages& images, CStrListResolutions& resolutions) const;

    // Shows the sheet through the platform's dialog runner: IDOK (1) or IDCANCEL (2); 2 at once
    // when no page has sources. Only OK changes the sheet's selections.
    int DoModal();

    // The pages shown by the last DoModal, in tab order, and the one in front (-1 when none).
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CListSelectorPage* GetPage(int index) const;
    int GetActiveIndex() const { return m_active; }
    // Brings a page to the front; the page left runs OnKillActive, a page shown the first time
    // OnInitDialog.
    bool SetActivePage(int index);

    CDlgListSelector& GetGenericPage() { return m_pageGeneric; }
    CDlgListSelectorImage& GetImagePage() { return m_pageImage; }
    CDlgListSelectorResolution& GetResolutionPage() { return m_pageResolution; }
    CWnd* GetParent() const { return m_parent; }

    // platform::DialogModel
    CString GetTitle() const override;
    CString Describe() const override;
    bool Apply(const platform::DialogAction& action, CString& error) override;
    bool OnOk(CString& error) override;

private:
    CStrListImages m_imageSources;
    CStrListImages m_imageSelections;
    CStrListResolutions m_resolutionSources;
    CStrListResolutions m_resolutionSelections;
    CStrList m_sources;
    CStrList m_selections;
    CDlgListSelector m_pageGeneric;
    CDlgListSelectorImage m_pageImage;
    CDlgListSelectorResolution m_pageResolution;
    std::vector<CListSelectorPage*> m_pages;
    int m_active = -1;
    CWnd* m_parent;
};

// What an image test's list editing does: the sources are the presets of its run mode, the
// selections its own lists, which afterwards hold the sheet's selections (unchanged unless OK).
// Answers DoModal's result, or 2 for a preset outside 0-3.
int EditImageResolutionLists(CStrListImages& images, CStrListResolutions& resolutions, int preset);
