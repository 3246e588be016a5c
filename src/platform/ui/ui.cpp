#include "platform/ui.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <strings.h>

#include <string>
#include <utility>

// ---------------------------------------------------------------------------------------------
// CString

void CString::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        s_.clear();
        return;
    }
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), fmt, again);
    va_end(again);
    out.resize(static_cast<size_t>(n));
    s_ = std::move(out);
}

void CString::TrimLeft() {
    size_t i = 0;
    while (i < s_.size() && std::isspace(static_cast<unsigned char>(s_[i]))) ++i;
    s_.erase(0, i);
}

void CString::TrimRight() {
    while (!s_.empty() && std::isspace(static_cast<unsigned char>(s_.back()))) s_.pop_back();
}

void CString::MakeUpper() {
    for (char& c : s_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

void CString::MakeLower() {
    for (char& c : s_) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

int CString::Find(const char* what, int start) const {
    if (!what || start < 0 || static_cast<size_t>(start) > s_.size()) return -1;
    size_t p = s_.find(what, static_cast<size_t>(start));
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::ReverseFind(char c) const {
    size_t p = s_.rfind(c);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

CString CString::Left(int n) const {
    if (n <= 0) return CString();
    return CString(s_.substr(0, static_cast<size_t>(n)));
}

CString CString::Right(int n) const {
    if (n <= 0) return CString();
    if (static_cast<size_t>(n) >= s_.size()) return *this;
    return CString(s_.substr(s_.size() - static_cast<size_t>(n)));
}

CString CString::Mid(int first, int n) const {
    if (first < 0) first = 0;
    if (static_cast<size_t>(first) >= s_.size()) return CString();
    return CString(n < 0 ? s_.substr(static_cast<size_t>(first)) : s_.substr(static_cast<size_t>(first), static_cast<size_t>(n)));
}

int CString::CompareNoCase(const char* other) const {
    return strcasecmp(s_.c_str(), other ? other : "");
}

// ---------------------------------------------------------------------------------------------
// ScriptedUi

int ScriptedUi::messageBox(const std::string& text, const std::string& caption, unsigned style) {
    int answer = IDOK;
    const unsigned buttons = style & MB_BUTTONMASK;
    if (buttons != MB_OK) {
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        } else {
            ++unexpected;
            answer = defaultAnswer;
            // A default of No on an OK/Cancel box means Cancel.
            if (buttons == MB_OKCANCEL && (answer == IDNO || answer == IDYES))
                answer = answer == IDYES ? IDOK : IDCANCEL;
        }
    }
    shown.push_back({"message", caption, text, style, answer});
    return answer;
}

int ScriptedUi::yesToAll(const std::string& prompt, const std::string& caption) {
    int answer = 0;
    if (!yesToAllAnswers.empty()) {
        answer = yesToAllAnswers.front();
        yesToAllAnswers.pop_front();
    } else {
        ++unexpected;
    }
    shown.push_back({"yestoall", caption, prompt, 0, answer});
    return answer;
}

bool ScriptedUi::fileBox(FileBoxRequest& request, std::string& chosen) {
    std::string answer;
    if (!files.empty()) {
        answer = files.front();
        files.pop_front();
    } else {
        ++unexpected;
    }
    shown.push_back({"file", request.title, request.filter, request.save ? 1u : 0u, answer.empty() ? IDCANCEL : IDOK});
    if (answer.empty()) return false;
    chosen = answer;
    return true;
}

int ScriptedUi::dialog(const std::string& name, void* record) {
    int answer = IDCANCEL;
    auto it = dialogs.find(name);
    if (it != dialogs.end() && it->second)
        answer = it->second(record);
    else
        ++unexpected;
    shown.push_back({"dialog", name, name, 0, answer});
    return answer;
}

bool ScriptedUi::pumpMessage() {
    if (messagesToPump > 0) --messagesToPump;
    return !quitting;
}

std::vector<std::string> ScriptedUi::texts() const {
    std::vector<std::string> out;
    out.reserve(shown.size());
    for (const auto& box : shown) out.push_back(box.text);
    return out;
}

bool ScriptedUi::showed(const std::string& fragment) const {
    return std::any_of(shown.begin(), shown.end(),
                       [&](const ShownBox& box) { return box.text.find(fragment) != std::string::npos; });
}

// ---------------------------------------------------------------------------------------------
// Windows

void CMDIChildWnd::SetPaneText(int pane, const char* text) {
    if (pane < 0 || static_cast<size_t>(pane) >= statusPanes.size()) return;
    statusPanes[static_cast<size_t>(pane)] = text ? text : "";
}

CMDIFrameWnd::~CMDIFrameWnd() {
    for (CMDIChildWnd* child : children_) delete child;
}

CMDIChildWnd* CMDIFrameWnd::createChild() {
    if (failChildCreation) return nullptr;
    auto* child = new CMDIChildWnd();
    children_.push_back(child);
    active_ = child;
    return child;
}

namespace {
HostUi* g_defaultUi = nullptr;
}

void platformSetDefaultUi(HostUi* ui) { g_defaultUi = ui; }
HostUi* platformDefaultUi() { return g_defaultUi; }

HostUi* platformUiFor(HWND owner) {
    if (auto* frame = dynamic_cast<CMDIFrameWnd*>(owner); frame && frame->ui()) return frame->ui();
    return g_defaultUi;
}

int AfxMessageBox(HWND owner, const char* text, const char* caption, unsigned style) {
    const std::string t = text ? text : "";
    const std::string c = caption ? caption : "";
    if (HostUi* ui = platformUiFor(owner)) return ui->messageBox(t, c, style);
    // No one to ask: say it on standard error; questions are answered No (or Cancel).
    std::fprintf(stderr, "%s: %s\n", c.c_str(), t.c_str());
    switch (style & MB_BUTTONMASK) {
        case MB_OK: return IDOK;
        case MB_OKCANCEL: return IDCANCEL;
        default: return IDNO;
    }
}

void AfxThrowUserException() { throw CUserException(); }

// ---------------------------------------------------------------------------------------------
// Controls

int CComboBox::AddString(const char* text) {
    items_.push_back({text ? text : "", 0});
    return static_cast<int>(items_.size()) - 1;
}

int CComboBox::InsertString(int index, const char* text) {
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return AddString(text);
    items_.insert(items_.begin() + index, Item{text ? text : "", 0});
    if (sel_ >= index) ++sel_;
    return index;
}

int CComboBox::DeleteString(int index) {
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return CB_ERR;
    items_.erase(items_.begin() + index);
    if (sel_ == index)
        sel_ = CB_ERR;
    else if (sel_ > index)
        --sel_;
    return static_cast<int>(items_.size());
}

void CComboBox::ResetContent() {
    items_.clear();
    sel_ = CB_ERR;
}

int CComboBox::GetLBText(int index, CString& out) const {
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return CB_ERR;
    out = items_[static_cast<size_t>(index)].text;
    return out.GetLength();
}

int CComboBox::GetLBTextLen(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return CB_ERR;
    return static_cast<int>(items_[static_cast<size_t>(index)].text.size());
}

int CComboBox::SetItemData(int index, DWORD_PTR data) {
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return CB_ERR;
    items_[static_cast<size_t>(index)].data = data;
    return 0;
}

DWORD_PTR CComboBox::GetItemData(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return static_cast<DWORD_PTR>(CB_ERR);
    return items_[static_cast<size_t>(index)].data;
}

int CComboBox::SetCurSel(int index) {
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) {
        sel_ = CB_ERR;
        return CB_ERR;
    }
    sel_ = index;
    SetWindowText(items_[static_cast<size_t>(index)].text.c_str());
    return index;
}

int CComboBox::FindStringExact(int start, const char* text) const {
    const int n = GetCount();
    if (n == 0) return CB_ERR;
    // The search starts after `start` and wraps round, as the list box does.
    int first = (start < 0 || start >= n) ? 0 : start + 1;
    for (int k = 0; k < n; ++k) {
        int i = (first + k) % n;
        if (strcasecmp(items_[static_cast<size_t>(i)].text.c_str(), text ? text : "") == 0) return i;
    }
    return CB_ERR;
}

int CComboBox::SelectString(int start, const char* text) {
    const int n = GetCount();
    const size_t len = text ? std::char_traits<char>::length(text) : 0;
    int first = (start < 0 || start >= n) ? 0 : start + 1;
    for (int k = 0; k < n; ++k) {
        int i = (first + k) % n;
        if (strncasecmp(items_[static_cast<size_t>(i)].text.c_str(), text ? text : "", len) == 0) return SetCurSel(i);
    }
    return CB_ERR;
}

void CEdit::SetWindowText(const char* text) {
    std::string t = text ? text : "";
    if (limit_ > 0 && t.size() > static_cast<size_t>(limit_)) t.resize(static_cast<size_t>(limit_));
    CWnd::SetWindowText(t.c_str());
    selStart_ = selEnd_ = 0;
}

void CEdit::SetSel(int start, int end) {
    const int n = GetWindowTextLength();
    if (start == -1) {   // removes the selection, the caret stays at its end
        selStart_ = selEnd_;
        return;
    }
    if (end < 0 || end > n) end = n;
    if (start < 0) start = 0;
    if (start > end) std::swap(start, end);
    selStart_ = start;
    selEnd_ = end;
}

void CEdit::ReplaceSel(const char* text) {
    std::string t = windowText();
    const std::string insert = text ? text : "";
    t.replace(static_cast<size_t>(selStart_), static_cast<size_t>(selEnd_ - selStart_), insert);
    const int caret = selStart_ + static_cast<int>(insert.size());
    CWnd::SetWindowText(t.c_str());
    selStart_ = selEnd_ = caret;
}

void CEdit::OnChar(UINT ch, UINT repeat, UINT flags) {
    (void)flags;
    for (UINT k = 0; k < (repeat ? repeat : 1); ++k) {
        if (ch == VK_BACK) {
            if (selStart_ == selEnd_ && selStart_ > 0) --selStart_;
            ReplaceSel("");
            continue;
        }
        if (ch < 0x20 || ch > 0xFF) continue;   // other control characters insert nothing
        if (limit_ > 0 && GetWindowTextLength() - (selEnd_ - selStart_) >= limit_) continue;
        const char typed[2] = {static_cast<char>(ch), '\0'};
        ReplaceSel(typed);
    }
}

void CComboBox::SubclassEditPart(CEdit* edit) {
    CString text;
    edit_->GetWindowText(text);
    edit_ = edit ? edit : &ownEdit_;
    edit_->SetWindowText(text);
}

void CComboBox::SetWindowText(const char* text) {
    CWnd::SetWindowText(text);
    edit_->SetWindowText(text);
}

void CComboBox::GetWindowText(CString& out) const { edit_->GetWindowText(out); }

BOOL CComboBox::DestroyWindow() {
    if (!destroyed()) OnDestroy();
    return CWnd::DestroyWindow();
}

CFont* CWnd::GetFont() const {
    static CFont dialogFont;
    return font_ ? font_ : &dialogFont;
}

int GetSystemMetrics(int index) { return index == SM_CXVSCROLL ? 17 : 0; }

COLORREF GetSysColor(int index) {
    switch (index) {
        case COLOR_WINDOW: return RGB(255, 255, 255);
        case COLOR_HIGHLIGHT: return RGB(0, 120, 215);
        case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
        case COLOR_GRAYTEXT: return RGB(109, 109, 109);
        default: return RGB(0, 0, 0);
    }
}

CFont* CDC::SelectObject(CFont* font) {
    CFont* before = font_;
    font_ = font ? font : &defaultFont_;
    return before;
}

CSize CDC::GetTextExtent(const char* text) const {
    const int n = text ? static_cast<int>(std::char_traits<char>::length(text)) : 0;
    return CSize{n * font_->charWidth(), font_->height()};
}

COLORREF CDC::SetTextColor(COLORREF color) { return std::exchange(textColor_, color); }
COLORREF CDC::SetBkColor(COLORREF color) { return std::exchange(backColor_, color); }
