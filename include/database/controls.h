// The name and surface pickers: the edit boxes and lists the host and the library's dialogs put
// wherever the user types a point name or a string name or picks a surface. Each is the
// platform's edit or combo box model with only the rules below added, so that a real window
// system's controls can take their place.
#pragma once

#include "platform/table.h"
#include "platform/ui.h"
#include "platform/wintypes.h"

// The surface list's colours, box geometry (pixels) and fixed entries.
constexpr COLORREF kGREY = 0xC0C0C0;
constexpr COLORREF kBLACK = 0;
constexpr int kBORDER = 3;
constexpr int kSIZE = 10;
constexpr const char* kNONE = "None";
constexpr const char* kDTMCONTOUR = "DTM grid contours";
constexpr const char* kDTMDIFF = "DTM difference contours";

// The longest point name and string name the pickers hand out (characters, without the
// terminator).
constexpr int kPointNameChars = 16;
constexpr int kStringNameChars = 31;

// An edit box for point names. Commas, suffix characters ("!@$%^&") and wildcards ("*?#") are
// refused unless allowed; at 16 characters a further character is refused, or replaces the
// selection when there is one. Backspace always passes.
class CNamesEdit : public CEdit {
public:
    void SetAllowCommas(bool allow) { setBit(kCommas, allow); }
    void SetAllowSuffixes(bool allow) { setBit(kSuffixes, allow); }
    void SetAllowWildcards(bool allow) { setBit(kWildcards, allow); }
    void SetName(const char* text) { SetWindowText(text); }
    // Copies at most 16 characters and a terminator into buffer (17 bytes).
    void GetName(char* buffer) const;
    BYTE permissions() const { return allow_; }

protected:
    void OnChar(UINT ch, UINT repeat, UINT flags) override;

private:
    static constexpr BYTE kCommas = 1, kSuffixes = 2, kWildcards = 4;
    void setBit(BYTE bit, bool on) { allow_ = on ? BYTE(allow_ | bit) : BYTE(allow_ & ~bit); }
    BYTE allow_ = 0;
};

// The edit part of the names list: commas are refused, every other character passes.
class CNamesComboEdit : public CEdit {
protected:
    void OnChar(UINT ch, UINT repeat, UINT flags) override;
};

// A drop-down list of the terrain's point names. On focus it lists "ALL", "NONE", "--" and the
// first names of the terrain display's names table (at most Survey/NamesListMax, default 200,
// at most 32000); on losing focus it empties the list and keeps the typed text without trailing
// blanks. Its edit part refuses commas.
class CNamesCombo : public CComboBox {
public:
    CNamesCombo();
    int listLimit() const { return limit_; }
    int dropWidth() const { return width_; }
    bool editSubclassed() const { return subclassed_; }

protected:
    void OnSetFocus() override;
    void OnKillFocus() override;
    void OnDropDown() override;
    void OnCtlColorEdit() override;
    void OnDestroy() override;

private:
    DATA4* names_;
    int limit_;
    int width_ = 0;
    bool subclassed_ = false;
    CNamesComboEdit edit_;
};

// An edit box for string names: blanks and punctuation other than the underscore are refused,
// and a 32nd character. Backspace always passes.
class CStringNamesEdit : public CEdit {
public:
    void SetName(const char* text) { SetWindowText(text); }
    // Copies at most 31 characters and a terminator into buffer (32 bytes).
    void GetName(char* buffer) const;

protected:
    void OnChar(UINT ch, UINT repeat, UINT flags) override;
};

// What the window system hands an owner-drawn list to draw one item.
constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_DISABLED = 0x0004;
struct DRAWITEMSTRUCT {
    int itemID = -1;          // the item's index, -1 for an empty list
    UINT itemState = 0;       // ODS_ bits
    CDC* hDC = nullptr;
    CRect rcItem;
    DWORD_PTR itemData = 0;
};

// An owner-drawn list of surfaces: each entry carries its surface number as item data and is
// drawn with a box in the surface's pen colour (crossed when the surface is hidden, grey text
// when it is not active).
class CSurfaceCombo : public CComboBox {
public:
    // The 128 surfaces by name.
    void Init();
    // The same, with "None" (surface 0) on top.
    void InitEx();
    // The surfaces the project's contour files ("<terrain>.*.cnt") were made for.
    void InitContours();
    // Selects the surface's entry (above 128: "None" in a list with it, else surface 1), or the
    // first entry when none carries it.
    void SetSurface(WORD surface);
    WORD GetSurface();
    void DrawItem(const DRAWITEMSTRUCT& item);
    bool initialised() const { return initialised_; }

protected:
    void OnDropDown() override;

private:
    bool initialised_ = false;
    bool withNone_ = false;
};
