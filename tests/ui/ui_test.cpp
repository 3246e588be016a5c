#include <gtest/gtest.h>

#include "platform/ui.h"

#include <tuple>

TEST(ScriptedUiTest, AnswersQuestionsFromTheQueueAndRecordsEveryBox) {
    ScriptedUi ui;
    CMDIFrameWnd frame(&ui);
    ui.answers = {IDYES, IDNO};

    // An OK box needs no answer; once the queue is empty a question gets the default answer
    // (No, or Cancel where there is no No) and counts as unexpected.
    const std::tuple<const char*, unsigned, int> boxes[] = {{"Saved.", MB_OK | MB_ICONINFORMATION, IDOK},
                                                            {"Save changes?", MB_YESNO | MB_ICONQUESTION, IDYES},
                                                            {"Reuse?", MB_YESNO, IDNO}, {"Again?", MB_YESNO, IDNO},
                                                            {"Go on?", MB_OKCANCEL, IDCANCEL}};
    for (const auto& [text, style, answer] : boxes) EXPECT_EQ(AfxMessageBox(&frame, text, "Road", style), answer) << text;
    EXPECT_EQ(ui.unexpected, 2);
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{"Saved.", "Save changes?", "Reuse?", "Again?", "Go on?"}));
    EXPECT_EQ(ui.shown[1].caption, "Road");
    EXPECT_TRUE(ui.showed("Reuse") && !ui.showed("Delete"));
}

TEST(ScriptedUiTest, BoxesWithoutAFrameUseTheDefaultUi) {
    ScriptedUi fallback;
    platformSetDefaultUi(&fallback);
    CMDIFrameWnd bare;   // a frame without its own UI
    AfxMessageBox(&bare, "one", "c", MB_OK);
    AfxMessageBox(nullptr, "two", "c", MB_OK);
    platformSetDefaultUi(nullptr);
    EXPECT_EQ(fallback.texts(), (std::vector<std::string>{"one", "two"}));
    // With no UI at all a question is answered No and nothing crashes.
    EXPECT_EQ(AfxMessageBox(nullptr, "nobody asks", "c", MB_YESNO), IDNO);
}

TEST(ScriptedUiTest, FileBoxesDialogsAndThePump) {
    ScriptedUi ui;
    ui.files = {"/tmp/a.dat", ""};
    FileBoxRequest req;
    std::string chosen;
    EXPECT_TRUE(ui.fileBox(req, chosen));
    EXPECT_EQ(chosen, "/tmp/a.dat");
    EXPECT_FALSE(ui.fileBox(req, chosen));   // an empty answer cancels

    int value = 1;
    ui.dialogs["Filter"] = [](void* rec) {
        *static_cast<int*>(rec) = 42;
        return IDOK;
    };
    EXPECT_EQ(ui.dialog("Filter", &value), IDOK);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(ui.dialog("Unknown", &value), IDCANCEL);

    ui.messagesToPump = 2;
    int pumped = 0;
    while (ui.messageWaiting()) {
        EXPECT_TRUE(ui.pumpMessage());
        ++pumped;
    }
    EXPECT_EQ(pumped, 2);
    ui.quitting = true;
    EXPECT_FALSE(ui.pumpMessage());
}

TEST(ControlsTest, ComboBoxKeepsSelectionAndItemDataThroughEdits) {
    CComboBox box;
    EXPECT_EQ(box.GetCurSel(), CB_ERR);
    box.AddString("Alpha");
    box.AddString("beta");
    box.AddString("Gamma");
    box.SetItemData(1, 7);
    EXPECT_EQ(box.SetCurSel(2), 2);
    EXPECT_EQ(box.windowText(), "Gamma");

    EXPECT_EQ(box.InsertString(0, "Zero"), 0);    // the selection moves with its item
    EXPECT_EQ(std::pair(box.GetCurSel(), box.GetItemData(2)), std::pair(3, DWORD_PTR{7}));
    EXPECT_EQ(box.DeleteString(3), 3);            // deleting the selection clears it
    EXPECT_EQ(box.GetCurSel(), CB_ERR);
    EXPECT_EQ(box.DeleteString(9), CB_ERR);
    // Found without case; from 2 the search wraps round to itself; a prefix selects.
    EXPECT_EQ(std::vector({box.FindStringExact(-1, "BETA"), box.FindStringExact(2, "beta"), box.FindStringExact(-1, "bet"),
                           box.SelectString(-1, "al")}),
              std::vector({2, 2, int(CB_ERR), 1}));
    CString text;
    EXPECT_EQ(box.GetLBText(1, text), 5);
    EXPECT_EQ(text, "Alpha");
    EXPECT_EQ(box.GetLBText(5, text), CB_ERR);
    box.ResetContent();
    EXPECT_EQ(box.GetCount(), 0);
}

TEST(ControlsTest, TextsAndEditLimits) {
    CString s;
    s.Format("%s.%d.%s", "Site", 3, "sec");
    EXPECT_EQ(s, "Site.3.sec");
    CString t("  padded \t");
    t.Trim();
    EXPECT_EQ(t, "padded");
    EXPECT_EQ(std::vector({t.Mid(2, 3), t.Right(10), t.Left(0), t.Mid(99)}), std::vector<CString>({"dde", "padded", "", ""}));
    EXPECT_EQ(t.CompareNoCase("PADDED"), 0);

    CEdit edit;
    edit.SetLimitText(4);
    edit.SetWindowText("abcdefgh");
    CString got;
    edit.GetWindowText(got);
    EXPECT_EQ(got, "abcd");
}

TEST(FrameTest, ChildCreationCanFailAndUserExceptionThrows) {
    CMDIFrameWnd frame;
    EXPECT_EQ(frame.MDIGetActive(), nullptr);
    CMDIChildWnd* child = frame.createChild();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(frame.MDIGetActive(), child);
    child->SetPaneText(3, "ch 100.000");
    child->SetPaneText(4, "ignored");
    EXPECT_EQ(child->statusPanes[3], "ch 100.000");
    frame.failChildCreation = true;
    EXPECT_EQ(frame.createChild(), nullptr);
    EXPECT_THROW(AfxThrowUserException(), CUserException);
}

TEST(ControlsTest, TypingSelectionEditPartAndTextExtent) {
    CEdit edit;
    edit.SetLimitText(5);
    for (char c : std::string("abcdefg")) edit.SendChar(static_cast<unsigned char>(c));
    EXPECT_EQ(edit.windowText(), "abcde");                 // the limit
    edit.SetSel(1, 3);
    edit.SendChar(VK_BACK);                                 // removes the selection
    EXPECT_EQ(edit.windowText(), "ade");
    edit.SendChar('X');                                     // at the caret
    edit.SendChar(VK_BACK);
    edit.SendChar(VK_BACK);
    EXPECT_EQ(edit.windowText(), "de");
    edit.SendChar('\t');                                    // control characters insert nothing
    EXPECT_EQ(edit.windowText(), "de");

    CComboBox box;
    box.SetWindowText("typed");
    CEdit other;
    box.SubclassEditPart(&other);
    EXPECT_EQ(other.windowText(), "typed");                 // the text goes along
    other.SetSel(5, 5);
    other.SendChar('!');
    CString text;
    box.GetWindowText(text);
    EXPECT_EQ(text.str(), "typed!");
    box.SubclassEditPart(nullptr);
    box.GetWindowText(text);
    EXPECT_EQ(text.str(), "typed!");

    CDC dc;
    CFont big(20);
    EXPECT_EQ(dc.GetTextExtent("abc").cx, 21);
    dc.SelectObject(&big);
    EXPECT_EQ(std::pair(dc.GetTextExtent("abc").cx, dc.GetTextExtent("abc").cy), std::pair(30, 20));
}
