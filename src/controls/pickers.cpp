// The name and surface pickers.
#include "database/controls.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "database/display.h"
#include "database/frame.h"
#include "database/terrain.h"
#include "platform/core.h"

namespace {

bool oneOf(UINT ch, const char* set) { return ch != 0 && ch < 0x100 && std::strchr(set, static_cast<int>(ch)); }

void copyName(const CEdit& edit, char* buffer, int most) {
    if (!buffer) return;
    CString text;
    edit.GetWindowText(text);
    const int n = std::min(text.GetLength(), most);
    std::memcpy(buffer, text.c_str(), static_cast<std::size_t>(n));
    buffer[n] = '\0';
}

bool hasSelection(const CEdit& edit) {
    int start = 0, end = 0;
    edit.GetSel(start, end);
    return start != end;
}

std::string trimmedRight(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// The widest entry's text extent in the control's font.
int widestEntry(const CComboBox& box, CDC& dc) {
    int widest = 0;
    for (int i = 0; i < box.GetCount(); ++i) {
        CString text;
        box.GetLBText(i, text);
        widest = std::max(widest, dc.GetTextExtent(text).cx);
    }
    return widest;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Point names

void CNamesEdit::GetName(char* buffer) const { copyName(*this, buffer, kPointNameChars); }

void CNamesEdit::OnChar(UINT ch, UINT repeat, UINT flags) {
    if (ch == ',' && !(allow_ & kCommas)) return;
    if (oneOf(ch, "*?#") && !(allow_ & kWildcards)) return;
    if (oneOf(ch, "!@$%^&") && !(allow_ & kSuffixes)) return;
    if (ch != VK_BACK && GetWindowTextLength() >= kPointNameChars) {
        if (!hasSelection(*this)) return;
        ReplaceSel("");
    }
    CEdit::OnChar(ch, repeat, flags);
}

void CNamesComboEdit::OnChar(UINT ch, UINT repeat, UINT flags) {
    if (ch == ',') return;
    CEdit::OnChar(ch, repeat, flags);
}

// ---------------------------------------------------------------------------------------------
// The names list

CNamesCombo::CNamesCombo()
    : names_(dbfNamesDbPtr()), limit_(std::min(coreGetDefaultInt("Survey", "NamesListMax", 200), 32000)) {
    if (limit_ < 0) limit_ = 0;
}

void CNamesCombo::OnSetFocus() {
    AddString("ALL");
    AddString("NONE");
    AddString("--");
    if (names_) {
        FIELD4* field = d4field(names_, "NAME");
        const long count = std::min<long>(limit_, dfile4recCount(names_));
        long added = 0;
        for (int at = d4top(names_); field && at == 0 && added < count; at = d4skip(names_, 1), ++added)
            AddString(trimmedRight(f4str(field)).c_str());
    }
    CDC dc;
    dc.SelectObject(GetFont());
    width_ = widestEntry(*this, dc) + GetSystemMetrics(SM_CXVSCROLL) + dc.GetTextExtent("0").cx;
}

void CNamesCombo::OnDropDown() { SetDroppedWidth(width_); }

void CNamesCombo::OnKillFocus() {
    CString text;
    GetWindowText(text);
    const std::string kept = trimmedRight(text.str());
    ResetContent();
    SetWindowText(kept.c_str());
}

void CNamesCombo::OnCtlColorEdit() {
    if (subclassed_) return;
    SubclassEditPart(&edit_);
    subclassed_ = true;
}

void CNamesCombo::OnDestroy() {
    if (!subclassed_) return;
    SubclassEditPart(nullptr);
    subclassed_ = false;
}

// ---------------------------------------------------------------------------------------------
// String names

void CStringNamesEdit::GetName(char* buffer) const { copyName(*this, buffer, kStringNameChars); }

void CStringNamesEdit::OnChar(UINT ch, UINT repeat, UINT flags) {
    if (ch == ' ' || oneOf(ch, "`~!@#$%^&*()-+=|\\[]{};:'\",<>/?.")) return;
    if (ch != VK_BACK && GetWindowTextLength() >= kStringNameChars) return;
    CEdit::OnChar(ch, repeat, flags);
}

// ---------------------------------------------------------------------------------------------
// The surface list

void CSurfaceCombo::Init() {
    ResetContent();
    for (WORD s = 1; s <= 128; ++s) SetItemData(AddString(dbfSurfaceName(s)), s);
    initialised_ = true;
}

void CSurfaceCombo::InitEx() {
    Init();
    SetItemData(InsertString(0, kNONE), 0);
    withNone_ = true;
}

void CSurfaceCombo::InitContours() {
    ResetContent();
    // The contour files are the terrain file's name without its extension, a number and "cnt".
    char terrain[MAX_PATH] = {};
    dbfFileName(terrain, "cnt", kFileProject);
    std::string pattern = terrain;
    pattern.insert(pattern.size() - 3, "*.");
    for (const std::string& path : coreFindFiles(pattern.c_str())) {
        FILE* file = coreFileOpen(path.c_str(), "rb");
        if (!file) continue;
        BYTE header[kContourHeaderBytes] = {};
        const int read = dbfReadContourHeader(header, file);
        coreFileClose(file);
        if (!read) continue;
        WORD word = 0, kind = 0;
        std::memcpy(&word, header, sizeof word);
        std::memcpy(&kind, header + sizeof word, sizeof kind);
        const WORD surface = dbfStripSurfFlags(word, nullptr);
        const char* name = surface != 0 ? dbfSurfaceName(surface) : (kind == 1 ? kDTMDIFF : kDTMCONTOUR);
        SetItemData(AddString(name), surface);
    }
    if (GetCount() > 0) {
        SetCurSel(0);
        initialised_ = true;
    }
}

void CSurfaceCombo::SetSurface(WORD surface) {
    if (!initialised_) Init();
    if (surface > 128) surface = withNone_ ? 0 : 1;
    for (int i = 0; i < GetCount(); ++i)
        if (GetItemData(i) == surface) {
            SetCurSel(i);
            return;
        }
    if (GetCount() > 0) SetCurSel(0);
}

// With nothing selected (a list just built) there is no surface: 0.
WORD CSurfaceCombo::GetSurface() {
    if (!initialised_) Init();
    const DWORD_PTR data = GetItemData(GetCurSel());
    return data == static_cast<DWORD_PTR>(CB_ERR) ? 0 : static_cast<WORD>(data);
}

void CSurfaceCombo::OnDropDown() {
    CDC dc;
    dc.SelectObject(GetFont());
    // The short sample text stands for the room the box takes before the text.
    SetDroppedWidth(widestEntry(*this, dc) + 16 + GetSystemMetrics(SM_CXVSCROLL) + dc.GetTextExtent("00").cx);
}

void CSurfaceCombo::DrawItem(const DRAWITEMSTRUCT& item) {
    CDC* dc = item.hDC;
    if (!dc) return;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const CRect& r = item.rcItem;
    const CRect box{r.left + kBORDER, r.top + kBORDER, r.left + kBORDER + kSIZE, r.top + kBORDER + kSIZE};
    const WORD surface = static_cast<WORD>(item.itemData);
    if (GetCount() > 0) {
        dc->FrameRect(box, disabled ? GetSysColor(COLOR_GRAYTEXT) : kBLACK);
        if (surface >= 1 && surface <= 128 && !disabled) {
            if (dbfGetSurfaceStatus(surface, 2))
                dc->FillSolidRect(CRect{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1},
                                  static_cast<COLORREF>(dbfGetPenColor(static_cast<short>(dbfTerrainPen(surface)))));
            else {
                dc->DrawLine(box.left, box.top, box.right - 1, box.bottom - 1, kBLACK);
                dc->DrawLine(box.left, box.bottom - 1, box.right - 1, box.top, kBLACK);
            }
        }
    }
    if (item.itemID < 0) return;
    COLORREF text = GetSysColor(COLOR_WINDOWTEXT), back = GetSysColor(COLOR_WINDOW);
    if (item.itemState & ODS_SELECTED) {
        text = GetSysColor(COLOR_HIGHLIGHTTEXT);
        back = GetSysColor(COLOR_HIGHLIGHT);
    }
    if (disabled) {
        text = GetSysColor(COLOR_GRAYTEXT);
    } else if (surface >= 1 && surface <= 128 && !dbfGetSurfaceStatus(surface, 1)) {
        text = kGREY;
        back = GetSysColor(COLOR_WINDOW);
    }
    dc->SetTextColor(text);
    dc->SetBkColor(back);
    CString label;
    GetLBText(item.itemID, label);
    const CRect where = surface == 0 ? r : CRect{box.right + kBORDER, r.top, r.right, r.bottom};
    dc->DrawText(label, where);
}
