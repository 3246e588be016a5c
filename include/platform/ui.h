// The user-interface side of the host as the library sees it: the main frame that owns every
// box, the questions and file boxes it can ask, the library's own dialogs, the message pump,
// and the plain control models (text, combo box, edit box) that the library fills and reads.
//
// The host decides how a box is shown by giving the main frame a HostUi: ScriptedUi answers
// from a queue (tests), the console UI of the host program asks on the terminal.
#pragma once

#include <cstdarg>
#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/wintypes.h"

// ---------------------------------------------------------------------------------------------
// Text

// A growable text with the parts of the MFC string the library uses.
class CString {
public:
    CString() = default;
    CString(const char* s) : s_(s ? s : "") {}
    CString(const std::string& s) : s_(s) {}

    operator const char*() const { return s_.c_str(); }
    const char* c_str() const { return s_.c_str(); }
    const std::string& str() const { return s_; }

    int GetLength() const { return static_cast<int>(s_.size()); }
    bool IsEmpty() const { return s_.empty(); }
    void Empty() { s_.clear(); }
    char GetAt(int i) const { return s_.at(static_cast<size_t>(i)); }
    void Format(const char* fmt, ...);
    void TrimLeft();
    void TrimRight();
    void Trim() { TrimRight(); TrimLeft(); }
    void MakeUpper();
    void MakeLower();
    int Find(const char* what, int start = 0) const;
    int ReverseFind(char c) const;
    CString Left(int n) const;
    CString Right(int n) const;
    CString Mid(int first, int n = -1) const;
    int CompareNoCase(const char* other) const;

    CString& operator=(const char* s) { s_ = s ? s : ""; return *this; }
    CString& operator+=(const char* s) { s_ += s ? s : ""; return *this; }
    CString& operator+=(char c) { s_ += c; return *this; }
    friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
    friend bool operator==(const CString& a, const char* b) { return a.s_ == (b ? b : ""); }
    friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }

private:
    std::string s_;
};

// ---------------------------------------------------------------------------------------------
// What the host shows

// A file box request: the caller fills it, the host answers with a chosen path.
struct FileBoxRequest {
    bool save = false;              // save box (ask before overwriting) or open box
    std::string title;
    std::string filter;             // "Desc (*.ext)|*.ext|All Files (*.*)|*.*||"
    std::string defaultExt;
    std::string initialFolder;
    std::string proposedName;       // save box: the proposed file name
    int filterIndex = 1;            // 1-based filter preselected
};

// Everything the library may show or ask. Every box is modal: the call returns when it closes.
class HostUi {
public:
    virtual ~HostUi() = default;
    // A message box with caption and MB_ style; returns IDOK, IDCANCEL, IDYES or IDNO.
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned style) = 0;
    // The question with Yes, No and Yes to All: 1 Yes, 0 No (or closed), 2 Yes to All.
    virtual int yesToAll(const std::string& prompt, const std::string& caption) = 0;
    // A file box; true with the chosen path (and the filter index used), false when cancelled.
    virtual bool fileBox(FileBoxRequest& request, std::string& chosen) = 0;
    // One of the library's own dialogs, by name, editing the record behind the pointer;
    // returns IDOK when the user accepted the changes, IDCANCEL otherwise.
    virtual int dialog(const std::string& name, void* record) = 0;
    // The message queue: whether a message waits, and pumping one of them (false when the
    // application is quitting).
    virtual bool messageWaiting() { return false; }
    virtual bool pumpMessage() { return true; }
    virtual void postQuit() {}
};

// One text shown by the library, as recorded by ScriptedUi.
struct ShownBox {
    std::string kind;      // "message", "yestoall", "file", "dialog"
    std::string caption;
    std::string text;
    unsigned style = 0;
    int answer = 0;
};

// Answers every box from queues set up by a test, and records everything shown.
// Message boxes with only an OK button answer IDOK without using the queue; a question with an
// empty queue answers `defaultAnswer` and counts as unexpected.
class ScriptedUi : public HostUi {
public:
    std::deque<int> answers;                 // for questions (IDYES, IDNO, IDOK, IDCANCEL)
    std::deque<int> yesToAllAnswers;         // 0, 1, 2
    std::deque<std::string> files;           // chosen paths; an empty text cancels
    std::map<std::string, std::function<int(void*)>> dialogs;   // dialog name -> behaviour
    std::vector<ShownBox> shown;
    int defaultAnswer = IDNO;
    int unexpected = 0;
    int messagesToPump = 0;                  // messages waiting in the simulated queue
    bool quitting = false;                   // pumping reports that the application quits

    int messageBox(const std::string& text, const std::string& caption, unsigned style) override;
    int yesToAll(const std::string& prompt, const std::string& caption) override;
    bool fileBox(FileBoxRequest& request, std::string& chosen) override;
    int dialog(const std::string& name, void* record) override;
    bool messageWaiting() override { return messagesToPump > 0; }
    bool pumpMessage() override;

    // The texts shown so far, in order.
    std::vector<std::string> texts() const;
    // True when some shown text contains the fragment.
    bool showed(const std::string& fragment) const;
    const ShownBox* last() const { return shown.empty() ? nullptr : &shown.back(); }
    void clear() { shown.clear(); unexpected = 0; }
};

// ---------------------------------------------------------------------------------------------
// Windows

class CDC;
class CFont;

class CWnd {
public:
    virtual ~CWnd() = default;
    HWND GetSafeHwnd() { return this; }
    virtual void SetWindowText(const char* text) { text_ = text ? text : ""; }
    virtual void GetWindowText(CString& out) const { out = text_; }
    const std::string& windowText() const { return text_; }
    void Invalidate(BOOL erase = TRUE) { (void)erase; ++invalidations_; }
    void UpdateWindow() {}
    void RedrawWindow() { ++invalidations_; }
    int invalidations() const { return invalidations_; }
    virtual BOOL DestroyWindow() { destroyed_ = true; return TRUE; }
    bool destroyed() const { return destroyed_; }
    void EnableWindow(BOOL enable) { enabled_ = enable != 0; }
    bool IsWindowEnabled() const { return enabled_; }
    int GetWindowTextLength() const { return static_cast<int>(text_.size()); }
    // The font the window draws its text in (the system's dialog font unless one is set).
    void SetFont(CFont* font) { font_ = font; }
    CFont* GetFont() const;

    // Focus: the window system tells a window that it gained or lost the keyboard focus.
    void SetFocus() { OnSetFocus(); }
    void KillFocus() { OnKillFocus(); }

protected:
    virtual void OnSetFocus() {}
    virtual void OnKillFocus() {}

private:
    std::string text_;
    CFont* font_ = nullptr;
    int invalidations_ = 0;
    bool destroyed_ = false;
    bool enabled_ = true;
};

// An MDI child frame of the main frame (the road window's frame).
class CMDIChildWnd : public CWnd {
public:
    bool maximised = false;
    std::vector<std::string> statusPanes = std::vector<std::string>(4);
    void SetPaneText(int pane, const char* text);
};

// The host's main frame: the owner of every box. It holds the HostUi through which boxes are
// shown and the MDI children it has created.
class CMDIFrameWnd : public CWnd {
public:
    explicit CMDIFrameWnd(HostUi* ui = nullptr) : ui_(ui) {}
    ~CMDIFrameWnd() override;
    HostUi* ui() const { return ui_; }
    void setUi(HostUi* ui) { ui_ = ui; }

    // Children: the active one (null when none) and creation of a new one.
    CMDIChildWnd* MDIGetActive() const { return active_; }
    CMDIChildWnd* createChild();
    const std::vector<CMDIChildWnd*>& children() const { return children_; }
    bool failChildCreation = false;          // a test can make the next creations fail

private:
    HostUi* ui_;
    std::vector<CMDIChildWnd*> children_;
    CMDIChildWnd* active_ = nullptr;
};

// The UI used for boxes whose owner is null or owns no HostUi. Null means none: boxes are then
// printed on standard error and questions answer No.
void platformSetDefaultUi(HostUi* ui);
HostUi* platformDefaultUi();
// The UI that shows a box owned by the window (its frame's UI, or the default one).
HostUi* platformUiFor(HWND owner);

// A modal message box owned by a window (the system message box): returns the answer.
int AfxMessageBox(HWND owner, const char* text, const char* caption, unsigned style);

// ---------------------------------------------------------------------------------------------
// The user exception that ends the host's current command.

class CUserException : public std::runtime_error {
public:
    CUserException() : std::runtime_error("user exception") {}
};
[[noreturn]] void AfxThrowUserException();

// ---------------------------------------------------------------------------------------------
// Controls: plain models with the Win32 behaviour the library relies on.

constexpr int CB_ERR = -1;

// Characters with a meaning of their own in an edit control.
constexpr UINT VK_BACK = 0x08;

// System metrics and colours the controls use (the values of a standard desktop).
constexpr int SM_CXVSCROLL = 2;
int GetSystemMetrics(int index);
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_GRAYTEXT = 17;
COLORREF GetSysColor(int index);
constexpr COLORREF RGB(int r, int g, int b) {
    return COLORREF(r & 0xFF) | (COLORREF(g & 0xFF) << 8) | (COLORREF(b & 0xFF) << 16);
}

// A font of a given cell height in pixels. Text is measured as a fixed-pitch font measures it:
// every character is half the height wide, rounded up (the system's dialog font: 13 pixels
// high, 7 wide). Enough for the controls' widths, which only add up extents.
class CFont {
public:
    explicit CFont(int height = 13) : height_(height < 1 ? 1 : height) {}
    int height() const { return height_; }
    int charWidth() const { return (height_ + 1) / 2; }

private:
    int height_;
};

struct CSize {
    int cx = 0;
    int cy = 0;
};

struct CRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const CRect&) const = default;
};

// A device context: what is drawn on it is kept as a display list (operation, rectangle or line,
// colours, text) that tests read, as the drawing window keeps its own.
class CDC {
public:
    enum class Op { FrameRect, FillRect, Line, Text };
    struct Item {
        Op op;
        CRect rect;            // the rectangle, or the line from (left, top) to (right, bottom)
        COLORREF color = 0;    // the frame, fill or line colour, or the text colour
        COLORREF back = 0;     // the text's background colour
        std::string text;
    };
    CFont* SelectObject(CFont* font);
    CSize GetTextExtent(const char* text) const;
    COLORREF SetTextColor(COLORREF color);
    COLORREF SetBkColor(COLORREF color);
    void FrameRect(const CRect& rect, COLORREF color) { items_.push_back({Op::FrameRect, rect, color, 0, {}}); }
    void FillSolidRect(const CRect& rect, COLORREF color) { items_.push_back({Op::FillRect, rect, color, 0, {}}); }
    void DrawLine(int x1, int y1, int x2, int y2, COLORREF color) {
        items_.push_back({Op::Line, CRect{x1, y1, x2, y2}, color, 0, {}});
    }
    // Text on one line in the rectangle, centred vertically (the only way the controls draw it).
    void DrawText(const char* text, const CRect& rect) {
        items_.push_back({Op::Text, rect, textColor_, backColor_, text ? text : ""});
    }
    const std::vector<Item>& items() const { return items_; }

private:
    CFont defaultFont_;
    CFont* font_ = &defaultFont_;
    COLORREF textColor_ = 0;
    COLORREF backColor_ = 0xFFFFFF;
    std::vector<Item> items_;
};

class CEdit : public CWnd {
public:
    void SetLimitText(int limit) { limit_ = limit; }
    int GetLimitText() const { return limit_; }
    void SetWindowText(const char* text) override;
    // The selection (start == end: no selection, the caret there); -1 as end means the end of
    // the text, -1 as start removes the selection.
    void SetSel(int start, int end);
    void GetSel(int& start, int& end) const { start = selStart_; end = selEnd_; }
    void ReplaceSel(const char* text);
    // A character typed into the control (the window system's character message).
    void SendChar(UINT ch) { OnChar(ch, 1, 0); }

protected:
    // What the edit control does with a typed character: backspace removes the selection, or
    // else the character before the caret; any other character replaces the selection, unless
    // the text would exceed the limit.
    virtual void OnChar(UINT ch, UINT repeat, UINT flags);

private:
    int limit_ = 30000;
    int selStart_ = 0, selEnd_ = 0;
};

class CComboBox : public CWnd {
public:
    CComboBox() = default;
    CComboBox(const CComboBox&) = delete;
    CComboBox& operator=(const CComboBox&) = delete;
    int AddString(const char* text);                 // appended (the list is not sorted)
    int InsertString(int index, const char* text);   // -1 appends
    int DeleteString(int index);                      // the count left, CB_ERR when out of range
    void ResetContent();
    int GetCount() const { return static_cast<int>(items_.size()); }
    int GetLBText(int index, CString& out) const;    // the length, CB_ERR when out of range
    int GetLBTextLen(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    DWORD_PTR GetItemData(int index) const;         // CB_ERR when out of range
    int SetCurSel(int index);                         // -1 clears; CB_ERR when out of range
    int GetCurSel() const { return sel_; }
    int FindStringExact(int start, const char* text) const;   // case-insensitive, CB_ERR if none
    int SelectString(int start, const char* text);            // by prefix, case-insensitive
    // The width of the dropped-down list (0: the control's own width).
    int SetDroppedWidth(int width) { dropWidth_ = width < 0 ? 0 : width; return dropWidth_; }
    int GetDroppedWidth() const { return dropWidth_; }
    // The user opens the list: the control hears of it before it is shown.
    void ShowDropDown() { OnDropDown(); }
    // The window system asks the control for the colours of its edit part (it does so before
    // the edit part first paints); the edit part receives the characters typed into the box.
    void PaintEditPart() { OnCtlColorEdit(); }
    CEdit* editPart() { return edit_; }
    // The edit part's messages go to `edit` from here on (null: to the box's own edit part
    // again); its text is carried over.
    void SubclassEditPart(CEdit* edit);
    BOOL DestroyWindow() override;
    // The box's text is its edit part's text.
    void SetWindowText(const char* text) override;
    void GetWindowText(CString& out) const override;

protected:
    virtual void OnDropDown() {}
    virtual void OnCtlColorEdit() {}
    virtual void OnDestroy() {}

private:
    int dropWidth_ = 0;
    CEdit ownEdit_;
    CEdit* edit_ = &ownEdit_;

    struct Item {
        std::string text;
        DWORD_PTR data = 0;
    };
    std::vector<Item> items_;
    int sel_ = CB_ERR;
};

