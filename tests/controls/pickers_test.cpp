// The name and surface pickers: typing rules, the names list, the surface lists and the drawing
// of a surface entry.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "database/controls.h"
#include "display/display_fixture.h"

namespace {

std::string textOf(const CWnd& w) {
    CString t;
    w.GetWindowText(t);
    return t.str();
}

// Types the characters into the edit control; '\b' is backspace.
void type(CEdit& edit, const std::string& keys) {
    for (char c : keys) edit.SendChar(c == '\b' ? VK_BACK : static_cast<unsigned char>(c));
}

TEST(Pickers, TypingRules) {
    enum Kind { Point, String, ComboEdit };
    struct Case {
        Kind kind;
        BYTE allow;             // CNamesEdit: 1 commas, 2 suffixes, 4 wildcards
        const char* start;
        int selStart, selEnd;   // -1: the caret at the end of the text
        const char* keys;
        const char* expected;
    };
    const std::string p16 = "ABCDEFGHIJKLMNOP", s31(31, 'S'), s30z = s31.substr(0, 30) + "Z";
    const Case cases[] = {
        {Point, 0, "", -1, -1, "A,B", "AB"},
        {Point, 1, "", -1, -1, "A,B", "A,B"},
        {Point, 0, "", -1, -1, "P*?#!@$%^&1", "P1"},
        {Point, 4, "", -1, -1, "P*?#!1", "P*?#1"},
        {Point, 2, "", -1, -1, "P!@$%^&*", "P!@$%^&"},
        {Point, 0, p16.c_str(), -1, -1, "Q", p16.c_str()},                  // full: refused
        {Point, 0, p16.c_str(), 15, 16, "Q", "ABCDEFGHIJKLMNOQ"},          // the selection makes room
        {Point, 0, p16.c_str(), -1, -1, "\bQ", "ABCDEFGHIJKLMNOQ"},        // backspace always passes
        {String, 0, "", -1, -1, "KERB LEFT.1_a", "KERBLEFT1_a"},
        {String, 0, "", -1, -1, "`~!@#$%^&*()-+=|\\[]{};:'\",<>/?.X", "X"},
        {String, 0, s31.c_str(), -1, -1, "Z", s31.c_str()},
        {String, 0, s31.c_str(), -1, -1, "\bZ", s30z.c_str()},
        {ComboEdit, 0, "", -1, -1, "A,*B", "A*B"},
    };
    for (const Case& k : cases) {
        CNamesEdit point;
        CStringNamesEdit string;
        CNamesComboEdit combo;
        CEdit& edit = k.kind == Point ? static_cast<CEdit&>(point) : k.kind == String ? static_cast<CEdit&>(string) : combo;
        point.SetAllowCommas(k.allow & 1);
        point.SetAllowSuffixes(k.allow & 2);
        point.SetAllowWildcards(k.allow & 4);
        edit.SetWindowText(k.start);
        const int n = edit.GetWindowTextLength();
        edit.SetSel(k.selStart < 0 ? n : k.selStart, k.selStart < 0 ? n : k.selEnd);
        type(edit, k.keys);
        EXPECT_EQ(textOf(edit), k.expected) << k.kind << " " << k.keys;
    }
    CNamesEdit point;
    point.SetAllowCommas(true);
    point.SetAllowWildcards(true);
    point.SetAllowCommas(false);
    EXPECT_EQ(point.permissions(), 4);
    point.SetName("ABCDEFGHIJKLMNOPQRS");
    CStringNamesEdit string;
    string.SetName(std::string(40, 'x').c_str());
    char name[kPointNameChars + 1], sname[kStringNameChars + 1];
    point.GetName(name);
    string.GetName(sname);
    EXPECT_EQ(std::string(name) + "|" + sname, "ABCDEFGHIJKLMNOP|" + std::string(31, 'x'));
}

class PickersTest : public DisplayTest {};

TEST_F(PickersTest, NamesListFilledOnFocusAndEmptiedOnLeaving) {
    openDisplay();
    showOnly({kFlagPoints});
    for (const char* n : {"P1", "LONGERNAME", "P3"}) add(n, 10, 10, 1);
    paint();   // the points layer offers the names to the table
    CNamesCombo box;
    EXPECT_EQ(box.listLimit(), 200);
    box.SetFocus();
    ASSERT_EQ(box.GetCount(), 6);
    std::vector<std::string> listed;
    for (int i = 0; i < box.GetCount(); ++i) {
        CString t;
        box.GetLBText(i, t);
        listed.push_back(t.str());
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"ALL", "NONE", "--", "LONGERNAME", "P1", "P3"}));
    // The widest entry (10 characters of 7 pixels) + the scroll bar (17) + "0" (7).
    EXPECT_EQ(box.dropWidth(), 70 + 17 + 7);
    box.ShowDropDown();
    EXPECT_EQ(box.GetDroppedWidth(), 94);

    // Commas cannot be typed once the edit part has painted; the text keeps no trailing blanks.
    type(*box.editPart(), "A,");
    box.PaintEditPart();
    EXPECT_TRUE(box.editSubclassed());
    box.editPart()->SetSel(2, 2);
    type(*box.editPart(), ",B  ");
    box.KillFocus();
    EXPECT_EQ(std::pair(box.GetCount(), textOf(box)), std::pair(0, std::string("A,B")));
    box.DestroyWindow();
    EXPECT_FALSE(box.editSubclassed());

    coreSetDefault("Survey", "NamesListMax", "1");
    CNamesCombo limited;
    limited.SetFocus();
    EXPECT_EQ(limited.GetCount(), 4);
    coreSetDefault("Survey", "NamesListMax", "99999");
    EXPECT_EQ(CNamesCombo().listLimit(), 32000);
}

TEST_F(PickersTest, SurfaceListsAndContourFiles) {
    openDisplay();
    dbfSurfaceName(3);   // the names are loaded on first use
    dbfSetSurfaceName("Existing ground", 3);
    CSurfaceCombo plain, none;
    plain.Init();
    none.InitEx();
    plain.SetSurface(200);   // no such surface: the first entry
    none.SetSurface(200);
    EXPECT_EQ(std::tuple(plain.GetCount(), none.GetCount(), plain.GetSurface(), none.GetSurface(), textOf(none)),
              std::tuple(128, 129, 1, 0, std::string(kNONE)));
    plain.SetSurface(3);
    EXPECT_EQ(textOf(plain), "Existing ground");
    CSurfaceCombo lazy;
    EXPECT_EQ(lazy.GetSurface(), 0);   // built on first use, nothing selected
    EXPECT_EQ(lazy.GetCount(), 128);
    lazy.ShowDropDown();
    EXPECT_GT(lazy.GetDroppedWidth(), 16 + 17);

    // Contour files of the project: surface 3 (with a flag bit), a grid and a difference
    // contour file, and a file too short for its header, which is left out.
    auto contourFile = [](const char* ext, WORD surface, WORD kind, std::size_t bytes) {
        char path[MAX_PATH];
        dbfFileName(path, ext, kFileProject);
        std::string header(bytes, '\0');
        std::memcpy(header.data(), &surface, std::min<std::size_t>(2, bytes));
        if (bytes >= 4) std::memcpy(header.data() + 2, &kind, 2);
        dbtest::writeFile(path, header);
    };
    CSurfaceCombo contours;
    contours.InitContours();
    EXPECT_TRUE(contours.GetCount() == 0 && !contours.initialised());
    contourFile("1.cnt", 0x4003, 0, kContourHeaderBytes);
    contourFile("2.cnt", 0, 1, kContourHeaderBytes);
    contourFile("3.cnt", 0, 0, kContourHeaderBytes);
    contourFile("4.cnt", 5, 0, 10);
    contours.InitContours();
    ASSERT_EQ(contours.GetCount(), 3);
    const std::pair<const char*, WORD> expected[] = {{"Existing ground", 3}, {kDTMDIFF, 0}, {kDTMCONTOUR, 0}};
    for (int i = 0; i < 3; ++i) {
        CString t;
        contours.GetLBText(i, t);
        EXPECT_EQ(std::pair(t.str(), contours.GetItemData(i)), std::pair(std::string(expected[i].first), DWORD_PTR{expected[i].second}));
    }
    EXPECT_EQ(contours.GetCurSel(), 0);
}

TEST_F(PickersTest, DrawItemBoxColourCrossAndTextColours) {
    CSurfaceCombo box;
    box.InitEx();
    dbfSetSurfaceStatus(1, 3, 0);   // active and shown
    dbfSetSurfaceStatus(2, 1, 0);   // active, hidden
    dbfSetSurfaceStatus(3, 2, 0);   // shown, not active
    struct Case {
        int item;
        UINT state;
        int fills, lines;
        COLORREF frame, text, back;
    };
    const COLORREF window = GetSysColor(COLOR_WINDOW), grey = GetSysColor(COLOR_GRAYTEXT);
    const Case cases[] = {
        {1, 0, 1, 0, kBLACK, GetSysColor(COLOR_WINDOWTEXT), window},
        {1, ODS_SELECTED, 1, 0, kBLACK, GetSysColor(COLOR_HIGHLIGHTTEXT), GetSysColor(COLOR_HIGHLIGHT)},
        {2, 0, 0, 2, kBLACK, GetSysColor(COLOR_WINDOWTEXT), window},
        {3, ODS_SELECTED, 1, 0, kBLACK, kGREY, window},
        {1, ODS_DISABLED, 0, 0, grey, grey, window},
        {0, 0, 0, 0, kBLACK, GetSysColor(COLOR_WINDOWTEXT), window},   // "None"
    };
    for (const Case& k : cases) {
        CDC dc;
        const CRect item{0, 20, 150, 36};
        box.DrawItem(DRAWITEMSTRUCT{k.item, k.state, &dc, item, box.GetItemData(k.item)});
        int fills = 0, lines = 0;
        for (const CDC::Item& d : dc.items()) {
            if (d.op == CDC::Op::FrameRect) { EXPECT_TRUE(d.rect == (CRect{3, 23, 13, 33}) && d.color == k.frame) << k.item; }
            if (d.op == CDC::Op::FillRect) {
                ++fills;
                EXPECT_EQ(d.rect, (CRect{4, 24, 12, 32}));
                EXPECT_EQ(d.color, static_cast<COLORREF>(dbfGetPenColor(static_cast<short>(dbfTerrainPen(k.item)))));
            }
            if (d.op == CDC::Op::Line) ++lines;
            if (d.op == CDC::Op::Text) {
                EXPECT_EQ(std::tuple(d.color, d.back, d.rect.left), std::tuple(k.text, k.back, k.item == 0 ? 0 : 16)) << k.item;
            }
        }
        EXPECT_EQ(std::pair(fills, lines), std::pair(k.fills, k.lines)) << k.item << " " << k.state;
    }
}

}  // namespace
