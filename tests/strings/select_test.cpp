// The selected string (its header byte and the job setting), picking a string in the drawing
// window, making a string visible and highlighting it.
#include <string>
#include <tuple>

#include "strings/strings_fixture.h"

namespace {

class StringSelectTest : public StringsTest {
protected:
    // A registered terrain strings file of the name holding the root string (straight, at the
    // given x) and one child; its file name.
    std::string make(const char* root, const char* child, double x) {
        char name[32];
        coreStrncpy(name, root, sizeof name);
        char fileName[MAX_PATH];
        EXPECT_EQ(dbfTerrainStringsFile(name, fileName), 1);
        EXPECT_EQ(dbfStringOpenFile(fileName), 1);
        for (const char* s : {root, child}) {
            UI_LIST list;
            for (int i = 0; i < 3; ++i) list.Append(vertex(i * 10, x + (s == child ? 5 : 0), i * 10));
            addString(s, list, s == root ? child : "");
        }
        dbfStringCloseFile();
        return fileName;
    }

    static int selectedByte(const std::string& path, int slotIndex) {
        return static_cast<unsigned char>(dbtest::readFile(path).at(static_cast<std::size_t>(slot(slotIndex) + 221)));
    }

    std::string selected() {
        char name[32] = "junk";
        return dbfGetSelectedString(name) ? name : "";
    }

    // The selected mark of each slot, the job's selected file and the selected string.
    std::string selection(const std::string& path, std::initializer_list<int> slots) {
        std::string out;
        for (int k : slots) out += std::to_string(selectedByte(path, k));
        return out + " [" + job("TerrainStrings", "Selected") + "] " + selected();
    }
};

}  // namespace

TEST_F(StringSelectTest, SelectionIsRecordedTwiceAndSurvivesReopening) {
    const std::string one = make("ONE", "ONE_EDGE", 1);
    const std::string two = make("TWO", "TWO_EDGE", 100);
    EXPECT_EQ(selected(), "");

    ASSERT_EQ(dbfStringMakeSelection(one.c_str(), "ONE_EDGE"), 1);
    EXPECT_EQ(selection(one, {0, 1}), "01 [" + one + "] ONE_EDGE");

    // Close and reopen the project: both records still agree.
    coreFlushJobDefault();
    coreSetJobFile(file("Other.prj").c_str());
    EXPECT_EQ(selected(), "");
    coreSetJobFile(projectFile.c_str());
    EXPECT_EQ(selected(), "ONE_EDGE");
    ASSERT_EQ(dbfStringOpenFile(one.c_str()), 1);
    STR_HEADER h;
    dbfGetStringHeader("ONE_EDGE", h, nullptr);
    EXPECT_EQ(h.selected, 1);
    dbfStringCloseFile();

    // Selecting in another file clears the first.
    ASSERT_EQ(dbfStringMakeSelection(two.c_str(), "TWO"), 1);
    EXPECT_EQ(selectedByte(one, 1), 0);
    EXPECT_EQ(selection(two, {0}), "1 [" + two + "] TWO");
    // Selecting the selected string again deselects it.
    ASSERT_EQ(dbfStringMakeSelection(two.c_str(), "TWO"), 1);
    EXPECT_EQ(selection(two, {0}), "0 [] ");

    EXPECT_EQ(dbfStringMakeSelection(file("Site.NONE.str").c_str(), "NONE"), 0);
}

TEST_F(StringSelectTest, PickingFindsTheNearestVisibleStringAndAsksAmongTies) {
    const std::string one = make("ONE", "ONE_EDGE", 1);
    make("TWO", "TWO_EDGE", 100);
    cad.setZoomRect(-50, -50, 150, 150);
    char name[32];
    char fileName[MAX_PATH];
    int vertex = -1;
    double distance = -1;

    cad.queuePick(9, 2);   // (y, x): nearest to ONE's second vertex (x 1, y 10)
    ASSERT_EQ(dbfGetClosestString("Pick", true, false, name, fileName, vertex, distance), 1);
    EXPECT_EQ(std::tuple(std::string(name), std::string(fileName), vertex), std::tuple("ONE", one, 1));
    EXPECT_NEAR(distance, std::sqrt(2.0), 1e-12);

    // Halfway between ONE_EDGE (x 6) and TWO (x 100) is no tie; halfway between ONE and
    // ONE_EDGE is: the dialog chooses.
    int offered = 0;
    ui.dialogs["Multiple Strings"] = [&](void* record) {
        auto* choice = static_cast<STRING_CHOICE*>(record);
        offered = choice->count;
        choice->chosen = 1;
        return IDOK;
    };
    cad.queuePick(20, 3.5);
    ASSERT_EQ(dbfGetClosestString("Pick", true, false, name, fileName, vertex, distance), 1);
    EXPECT_EQ(std::pair(offered, std::string(name)), std::pair(2, std::string("ONE_EDGE")));

    // Not drawn, outside the view, cancelled, road strings only: nothing.
    coreSetJobDefault("StrLines_ONE", "ONE", "0,0,1,0,0.0,0.003");
    cad.queuePick(0, 2);
    ASSERT_EQ(dbfGetClosestString("Pick", true, false, name, fileName, vertex, distance), 1);
    EXPECT_STREQ(name, "ONE_EDGE");
    cad.setZoomRect(1000, 1000, 2000, 2000);
    cad.queuePick(0, 1);
    EXPECT_EQ(dbfGetClosestString("Pick", true, false, name, fileName, vertex, distance), 0);
    cad.queueCancelledPick();
    EXPECT_EQ(dbfGetClosestString("Pick", true, false, name, fileName, vertex, distance), 0);
}

TEST_F(StringSelectTest, SelectPicksAndWorkStringAsks) {
    const std::string one = make("ONE", "ONE_EDGE", 1);
    cad.setZoomRect(-50, -50, 150, 150);
    int redraws = 0;
    static int* counter;
    counter = &redraws;
    dbfState().hooks.redrawStrings = [] { ++*counter; };
    cad.queuePick(0, 1);
    dbfStringSelect();
    EXPECT_EQ(std::pair(selected(), redraws), std::pair(std::string("ONE"), 1));
    EXPECT_EQ(cad.pickPrompts().back(), "Indicate near vertex to select/deselect string (Escape to cancel)");

    char name[32];
    char fileName[MAX_PATH];
    int vertex = -1;
    ui.answers.push_back(IDYES);
    ASSERT_EQ(dbfGetWorkString("Pick", name, fileName, vertex, 1), 1);
    EXPECT_EQ(std::tuple(std::string(name), std::string(fileName), ui.last()->caption, ui.last()->text),
              std::tuple("ONE", one, "Continue?", "String 'ONE' is currently selected.\nContinue function using this string?"));
    // No: the user picks instead.
    ui.answers.push_back(IDNO);
    cad.queuePick(0, 6);
    ASSERT_EQ(dbfGetWorkString("Pick", name, fileName, vertex, 1), 1);
    EXPECT_STREQ(name, "ONE_EDGE");
    EXPECT_EQ(job("StrLines_ONE", "ONE_EDGE").substr(0, 1), "1");
    dbfState().hooks.redrawStrings = nullptr;
}

TEST_F(StringSelectTest, VisibilityAndHighlight) {
    const std::string one = make("ONE", "CHG_ONE", 1);
    coreSetJobDefault("StrLines_ONE", "Plot", "0");
    coreSetJobDefault("StrLines_ONE", "CHG_ONE", "0,0,4,0,0.0,0.003");
    coreSetJobDefault("StrLines_ONE", "ONE", " ");
    dbfSetStringVisible(one.c_str(), "CHG_ONE");
    EXPECT_EQ(job("StrLines_ONE", "Plot") + "|" + job("StrLines_ONE", "CHG_ONE") + "|" + job("StrLines_ONE", "ONE"),
              "1|1,0,4,0,0.0,0.003|1,0,1,0,0.0,0.003");

    ASSERT_EQ(dbfStringOpenFile(one.c_str()), 1);
    cad.clearDisplayList();
    dbfHighlightString(nullptr, "ONE", 0, 0, 0, 0);
    ASSERT_EQ(cad.displayList().size(), 2u);
    EXPECT_EQ(cad.displayList()[0].pen, 3);
    dbfSetStringClosed(nullptr, true);
    cad.clearDisplayList();
    dbfHighlightString(nullptr, "ONE", 0, 0, 0, 7);
    EXPECT_EQ(cad.displayList().size(), 3u);
    cad.clearDisplayList();
    dbfHighlightString(nullptr, "ONE", 1, 2, 0, 7);
    ASSERT_EQ(cad.displayList().size(), 1u);
    EXPECT_EQ(cad.displayList()[0].pen, 7);
}
