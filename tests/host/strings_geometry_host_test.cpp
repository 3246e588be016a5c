// The string geometry commands as a user types them: recalculating, selecting, hiding and the
// cross-section taken from the strings.
#include "host/host_fixture.h"

TEST_F(HostTest, StringGeometryCommands) {
    dbtest::writeFile(dir.file("cl.csv"), "chainage,x,y,z\n0,100,200,10\n50,100,250,11\n100,100,300,12\n");
    dbtest::writeFile(dir.file("edge.csv"), "chainage,x,y,z\n0,96,200,9\n50,96,250,10\n100,96,300,11\n");
    ASSERT_EQ(run({"strings", "import", "CL", "CL", dir.file("cl.csv")}).code, 0);
    ASSERT_EQ(run({"strings", "import", "CL", "EDGE", dir.file("edge.csv"), "--parent", "CL"}).code, 0);
    const std::string file = dir.file("site/Site.CL.str");
    const std::vector<Expected> cases = {
        // The section line from the centre line's middle towards -x crosses CL at 0 and EDGE at 4.
        {{"--format", "csv", "strings", "cross", "CL", "50", "--centre", "100,250,11", "--to", "80,250"},
         0, "offset,elevation,code\n0.000,11.000,32\n4.000,10.000,32\n", "2 strings cross the section at 50.000"},
        {{"strings", "cross", "CL", "50", "--centre", "100,250", "--to", "100,250"}, 2, "", "--to: the section line"},
        {{"strings", "cross", "CL", "50", "--centre", "inf,250", "--to", "80,250"}, 2, "", "--centre: inf is not"},
        {{"strings", "recalc", "CL"}, 0, "The strings below CL are recalculated", ""},
        {{"strings", "recalc", "CL", "NOPE"}, 1, "", "No string NOPE in "},
        {{"strings", "recalc", "NONE"}, 1, "", "No strings file"},
        {{"strings", "select", "CL", "EDGE"}, 0, "EDGE is selected", ""},
        {{"strings", "select"}, 0, "EDGE in ", ""},
        {{"strings", "select", "CL", "EDGE"}, 0, "EDGE is no longer selected", ""},
        {{"strings", "select"}, 0, "No string is selected", ""},
        {{"strings", "select", "NONE"}, 1, "", "Unable to open"},
        {{"strings", "hide", "CL", "CL", "0", "50"}, 1, "", "No design file"},
        {{"strings", "show-range", "CL", "CL", "50"}, 0, "is shown", ""},
    };
    expectEach(cases);
    // The edge, which has no offsets of its own, is where it was after the recalculation.
    const Outcome shown = run({"--format", "csv", "strings", "show", "CL", "EDGE"});
    EXPECT_NE(shown.out.find("50.000,96.000,250.000,10.000,1"), std::string::npos) << shown.out;
    EXPECT_NE(dbtest::readFile(file).size(), 0u);
}
