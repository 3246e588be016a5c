// The user's own files: survey files as instruments and spreadsheets write them, the site that
// fits them, and the lists printed for scripts (CSV and JSON read by readers that are not ours).
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>

#include "host_fixture.h"

namespace {

// The standard output of a shell command, or "" when it failed.
std::string shell(const std::string& command, int& status) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    status = pipe ? pclose(pipe) : -1;
    return out;
}

}  // namespace

TEST_F(HostTest, SurveyFilesAreReadAsWrittenAndEverySkippedLineIsNamed) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> options;
        int code;
        std::vector<std::string> err;   // each must appear on standard error
        const char* summary;            // on standard output
        const char* listed;             // in the CSV list afterwards ("" when nothing was added)
    };
    std::string manyBad = "name,y,x,z\n";
    for (int i = 0; i < 25; ++i) manyBad += "Q" + std::to_string(i) + ",5000,5000\n";
    const std::vector<Case> cases = {
        {"tabs, header, quotes, BOM, CRLF (PNEZD)",
         "\xEF\xBB\xBFP\tN\tE\tZ\tD\r\n\"A 1\"\t5100\t5200\t10.5\t\"top, of bank\"\r\n", {}, 0, {},
         "1 lines read (tab, with a header row), 1 points added, 0 skipped", "A 1,5200.000,5100.000,10.500,1"},
        {"semicolons, no header, the library's order with a surface", "B;5000;5001;7;2\n", {}, 0, {},
         "1 lines read (semicolon), 1 points added", "B,5000.000,5001.000,7.000,2"},
        {"blanks, NEZ named from the line", "# level run\n  5000  5001   3\n", {"--order", "nez"}, 0, {},
         "1 lines read (blanks), 1 points added", "P2,5001.000,5000.000,3.000,1"},
        {"PENZD given, header given", "pt,e,n,z\nC,5002,5003,4\n", {"--order", "penzd", "--header", "yes"}, 0, {},
         "1 points added", "C,5002.000,5003.000,4.000,1"},
        {"bad lines, each with its line and reason",
         "name,y,x,z,surface\nD,5000,5000\nE,5000,5000,nan\nF,5000,5000,1,0\nG,5000,5000,1,999\n\"H,5000,5000,1\n"
         "I,5000,5000,1\n",
         {}, 0,
         {":2: 3 fields, 4 needed", ":3: z (column 4): nan is not a number", ":4: surface 0 is not a surface number",
          ":5: surface 999 is not", ":6: a quote is not closed"},
         "6 lines read (comma, with a header row), 1 points added, 5 skipped", "I,5000.000,5000.000,1.000,1"},
        {"more than twenty bad lines", manyBad, {}, 0, {":21: 3 fields", "5 more lines skipped"},
         "25 lines read (comma, with a header row), 0 points added, 25 skipped", ""},
        {"a header without coordinates", "code,level\nA,1\n", {}, 1, {"does not name the y (or E), x (or N) and z columns"},
         "", ""},
        {"points outside the site stop the import", "J,5000,5000,1\nK,90000,5000,1\n", {}, 1,
         {"1 of 2 points lie outside the site", "--centre-y 47500.000 --centre-x 5000.000 --extent 89250.000",
          "Nothing was added"},
         "", ""},
        {"... unless asked to go on", "J,5000,5000,1\nK,90000,5000,1\n", {"--anywhere"}, 0, {},
         "2 points added, 1 of them outside the site, 0 skipped", "K,90000.000,5000.000,1.000,1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(run({"terrain", "create", "--force"}).code, 0);
        dbtest::writeFile(dir.file("survey.txt"), c.bytes);
        std::vector<std::string> args = {"terrain", "import-points", dir.file("survey.txt")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Outcome o = run(args);
        EXPECT_EQ(o.code, c.code) << o.err;
        for (const std::string& message : c.err) EXPECT_NE(o.err.find(message), std::string::npos) << o.err;
        EXPECT_NE(o.out.find(c.summary), std::string::npos) << o.out;
        EXPECT_EQ(o.err.find(":22:"), std::string::npos) << "at most 20 lines are shown";
        const Outcome list = run({"terrain", "list", "--format", "csv"});
        ASSERT_EQ(list.code, 0) << list.err;
        if (*c.listed) EXPECT_NE(list.out.find(c.listed), std::string::npos) << list.out;
        else EXPECT_EQ(list.out, "number,name,y,x,z,surface,lines\n");
    }
}

// The site is sized from the survey's extents, and the survey then goes in without a complaint.
TEST_F(HostTest, TheSiteFitsTheSurvey) {
    dbtest::writeFile(dir.file("far.csv"), "name,y,x,z\nA,-30000,120000,1\nB,-20000,150000,2\n");
    Outcome o = run({"terrain", "create", "--fit", dir.file("far.csv")});
    ASSERT_EQ(o.code, 0) << o.err;
    hosttest::expectHolds(o.out, {"2 points, y -30000.000 .. -20000.000, x 120000.000 .. 150000.000",
                                  "site y -44289.025 .. -5710.975, x 115710.975 .. 154289.025"});
    dbtest::writeFile(dir.file("none.csv"), "name,y,x,z\n");
    expectEach({{{"terrain", "import-points", dir.file("far.csv")}, 0, "2 points added, 0 skipped", ""},
                {{"terrain", "create", "--force", "--fit", dir.file("none.csv")}, 1, "", "none.csv holds no points to fit the site to"}});
}

// Lists for scripts: JSON that parses, CSV that GDAL reads with named columns, and an export
// with a header row that reads back.
TEST_F(HostTest, ListsParseInOtherReaders) {
    ASSERT_EQ(run({"terrain", "create"}).code, 0);
    dbtest::writeFile(dir.file("s.csv"), "name,y,x,z\n\"Q \"\"1\"\" top\",5000,5000,1\nR,5010,5000,2\n");
    ASSERT_EQ(run({"terrain", "import-points", dir.file("s.csv")}).code, 0);
    Outcome o = run({"terrain", "export-points", dir.file("out.csv")});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(dbtest::readFile(dir.file("out.csv")),
              "name,y,x,z,surface\n\"Q \"\"1\"\" top\",5000.000,5000.000,1.000,1\nR,5010.000,5000.000,2.000,1\n");

    dbtest::writeFile(dir.file("cl.csv"), "0,5000,5000,0\n10,5000,5010,0\n");
    ASSERT_EQ(run({"strings", "import", "CL", "CL", dir.file("cl.csv")}).code, 0);
    ASSERT_EQ(run({"road", "set-out", "CL", "--interval", "5"}).code, 0);
    const std::vector<std::vector<std::string>> lists = {
        {"terrain", "list"},         {"terrain", "search", "R"}, {"network", "list", "sewer"},
        {"network", "links", "sewer"}, {"road", "list"},          {"strings", "show", "CL"},
        {"project", "info"},         {"terrain", "stats"},       {"strings", "list"},
        {"terrain", "filter", "show"}};
    int status = 0;
    for (const auto& args : lists) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        std::vector<std::string> json = args;
        json.insert(json.end(), {"--format", "json"});
        o = run(json);
        ASSERT_EQ(o.code, 0) << o.err;
        dbtest::writeFile(dir.file("list.json"), o.out);
        const std::string parsed =
            shell("/usr/bin/python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); print(len(r), sorted(r[0]))' " +
                      dir.file("list.json"),
                  status);
        EXPECT_EQ(status, 0) << parsed << o.out;
        std::vector<std::string> csv = args;
        csv.insert(csv.end(), {"--format", "csv"});
        o = run(csv);
        ASSERT_EQ(o.code, 0) << o.err;
        dbtest::writeFile(dir.file("list.csv"), o.out);
        if (access("/usr/bin/ogrinfo", X_OK) != 0) {
            std::printf("GDAL's ogrinfo is not installed: the CSV is not checked by it\n");
            continue;
        }
        const std::string info = shell("/usr/bin/ogrinfo -ro -al -so " + dir.file("list.csv"), status);
        EXPECT_EQ(status, 0) << info;
        const std::string firstColumn = o.out.substr(0, o.out.find(','));
        EXPECT_NE(info.find(firstColumn + ": String"), std::string::npos) << info;
        EXPECT_NE(info.find("Feature Count: "), std::string::npos) << info;
    }
}

// The command line: version, help, usage errors with exit 2, refused numbers, the project of
// one command, and what is not a project.
TEST_F(HostTest, TheCommandLineSaysWhatItTakes) {
    dbtest::writeFile(dir.file("points.csv"), "name,y,x,z\n");
    const std::vector<Expected> cases = {
        {{"--version"}, 0, "sitebase ", ""},
        {{"help"}, 0, "Subcommands:", ""},
        {{"help", "terrain", "import-points"}, 0, "FILE TEXT REQUIRED", ""},
        {{"help", "terrain", "nothing"}, 2, "", "No command nothing"},
        {{"nothing"}, 2, "", "No command nothing"},
        {{"terrain", "nothing"}, 2, "", "No command nothing\n\nCreate, fill and query the project's terrain database"},
        {{"terrain", "list", "--limit", "-1"}, 2, "", "--limit: -1 is not a count (a whole number from 0)"},
        {{"terrain", "list", "--format", "xml"}, 2, "", "--format: must be table, csv or json, not xml"},
        {{"terrain", "import-points"}, 2, "", "FILE is required"},
        {{"project", "new", dir.file("x"), "a/b"}, 1, "", "The project name a/b may not be empty or hold /"},
        {{"project", "open", dir.file("points.csv")}, 1, "", "points.csv is not a project's job file"},
        {{"project", "open", dir.file("site")}, 1, "", "site is a folder, not a project's job file"},
        {{"--project", dir.file("points.csv"), "terrain", "create"}, 1, "", "is not a project's job file"},
    };
    expectEach(cases);
    // --project works on another project and leaves the current one as it is.
    ASSERT_EQ(run({"--project", dir.file("site/Site.prj"), "project", "new", dir.file("other"), "Other"}).code, 0);
    expectEach({{{"project", "info"}, 0, ("Project file:  " + dir.file("site/Site.prj")).c_str(), ""},
                {{"--project", dir.file("other/Other.prj"), "terrain", "create"}, 0, "", ""}});
    EXPECT_TRUE(dbtest::readFile(dir.file("other/Other.dtm")).size() > 0);
    EXPECT_TRUE(dbtest::readFile(dir.file("site/Site.dtm")).empty());
}

// The README's "Your own data" walk, command by command as the README gives them, in a fresh
// folder with a survey of 3600 points on a plane, a centre line and a sewer of three nodes.
TEST_F(HostTest, TheReadmeWalkRunsOnTheUsersOwnData) {
    workFolder = dir.file("walk");
    std::filesystem::create_directories(workFolder);
    std::string survey = "P\tN\tE\tZ\tD\r\n";
    char line[160];
    for (int i = 0; i < 60; ++i)
        for (int j = 0; j < 60; ++j) {
            const double n = 20000 + i * 5.0, e = 30000 + j * 5.0;
            std::snprintf(line, sizeof line, "\"S%d\"\t%.3f\t%.3f\t%.3f\t\"ground, natural\"\r\n", i * 60 + j + 1, n, e,
                          100 + 0.01 * (e - 30000) + 0.02 * (n - 20000));
            survey += line;
        }
    dbtest::writeFile(workFolder + "/survey.txt", survey);
    dbtest::writeFile(workFolder + "/centre.csv", "chainage,x,y,z\n0,20020,30020,0\n100,20100,30080,0\n200,20200,30080,0\n");
    dbtest::writeFile(workFolder + "/storm.csv",
                      "NODE,NEXT_NODE,Y_COORD,X_COORD,Z_COORD,INLEVEL,OUTLEVEL,MH_DEPTH,L_TYPE,SIZE1,NO,LENGTH,SUBCATCH,AREA\n"
                      "SW1,SW2,30020,20020,101.9,100.4,100.1,1.5,Concrete Pipe,375,1,60,S-SW1,0.4\n"
                      "SW2,SW3,30050,20070,102.7,100.0,99.7,1.5,Concrete Pipe,450,1,58,S-SW2,0.5\n"
                      "SW3,,30080,20120,103.5,99.6,,1.5,,,,,,\n");
    dbtest::writeFile(workFolder + "/sewer.csv",
                      "NODE,NEXT_NODE,SIZE1,INLEVEL,OUTLEVEL\nMH1,MH2,160,101.5,101.2\nMH2,MH3,160,101.1,100.8\nMH3,,160,100.7,100.5\n");

    const std::string readme = dbtest::readFile(SITEBASE_README);
    const std::size_t start = readme.find("## Your own data");
    ASSERT_NE(start, std::string::npos);
    const std::string walk = readme.substr(start, readme.find("\n## ", start + 1) - start);
    std::map<std::string, Outcome> outcomes;   // by the command's first two words
    std::istringstream lines(walk);
    for (std::string text; std::getline(lines, text);) {
        if (text.rfind("sitebase ", 0) != 0) continue;
        std::istringstream words(text.substr(9));
        std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        const Outcome o = run(args);
        ASSERT_EQ(o.code, 0) << text << "\n" << o.err;
        outcomes[args[0] + " " + args[1]] = o;
    }
    ASSERT_EQ(outcomes.size(), 10u) << walk;   // the two imports share a key
    hosttest::expectHolds(outcomes["terrain import-points"].out, {"3600 lines read (tab, with a header row), 3600 points added, 0 skipped"});
    hosttest::expectHolds(outcomes["road set-out"].out, {"100.000  100   30080.000  20100.000"});
    hosttest::expectHolds(outcomes["section cut-all"].out, {"9 sections stored on layer 2"});
    // The ground under chainage 100 (N 20100, E 30080) lies on the plane at 102.8.
    hosttest::expectHolds(outcomes["section show"].out, {"offset,elevation,id,marker\n", "\n0.000,102.800,0,0\n"});
    hosttest::expectHolds(outcomes["network import"].out, {"3 records added"});
    dbtest::writeFile(dir.file("nodes.json"), outcomes["network list"].out);
    int status = 0;
    const std::string nodes = shell(
        "/usr/bin/python3 -c 'import json,sys; print([(r[\"NODE\"], r[\"NEXT_NODE\"], r[\"SIZE1\"], r[\"INLEVEL\"]) for r "
        "in json.load(open(sys.argv[1]))])' " + dir.file("nodes.json"), status);
    EXPECT_EQ(nodes, "[('MH1', 'MH2', 160, 101.5), ('MH2', 'MH3', 160, 101.1), ('MH3', '', 160, 100.7)]\n");
    // The walk's SWMM input file joins those the engine runs (the swmm_engine test).
    const std::string inp = dbtest::readFile(workFolder + "/site/Site.inp");
    EXPECT_NE(inp.find("\n  SW3 "), std::string::npos) << inp;
    std::filesystem::create_directories(SWMM_INPUT_DIR);
    dbtest::writeFile(std::string(SWMM_INPUT_DIR) + "/readme_walk.inp", inp);
}

// Set-out refusals, the plan length standing in for a string drawn without chainages, and the
// chainages of a file.
TEST_F(HostTest, SetOutGivesChainagesTheirPositions) {
    dbtest::writeFile(dir.file("plain.csv"), "0,0,1000,0\n0,30,1040,0\n");   // no chainages: 50 m long
    ASSERT_EQ(run({"strings", "import", "PL", "PL", dir.file("plain.csv")}).code, 0);
    ASSERT_EQ(run({"terrain", "create"}).code, 0);
    dbtest::writeFile(dir.file("chg.csv"), "chainage,y,x,direction\n10,500,600,90\n20,abc,600,90\n");
    dbtest::writeFile(dir.file("edge.csv"), "chainage,x,y,z\n0,0,0,0\n5,abc,0,0\n10,0,10,0\n");
    dbtest::writeFile(dir.file("pts.csv"), "A,5000,5000,1\nB,5010,5000,1\n");
    dbtest::writeFile(dir.file("joins.csv"), "from,to,feature\nA,B,1\nA,Z,1\n");
    const std::vector<Expected> cases = {
        {{"section", "cut-all"}, 1, "", "No section was stored"},
        {{"road", "set-out", "NOPE"}, 1, "", "No strings file"},
        {{"road", "set-out", "PL", "--interval", "0"}, 2, "", "--interval: must be above 0, not 0"},
        {{"road", "set-out", "PL", "--interval", "1e-4"}, 1, "", "--interval 0.0001 would set out more than 100000 chainages"},
        {{"road", "set-out", "PL", "--from", "60"}, 1, "", "--from 60.000 and --to 50.000 must lie along the string, 0.000 to 50.000"},
        {{"road", "set-out", "PL", "--interval", "20", "--format", "csv"}, 0,
         "chainage,equation chainage,name,y,x\n0.000,0.000,0,1000.000,0.000\n20.000,20.000,20,1016.000,12.000\n", ""},
        {{"road", "import-chainages", dir.file("chg.csv")}, 0, "10.000", "chg.csv:3: y: abc is not a number"},
        {{"road", "list", "--format", "csv"}, 0, "50.000,50,0,0,0,1040.000,30.000", ""},
        {{"strings", "import", "PL", "EDGE", dir.file("edge.csv")}, 0, "EDGE: 1 vertices stored",
         "edge.csv:2: a vertex at chainage 0 and position (0, 0) reads back as the end of the string"},
        {{"terrain", "import-points", dir.file("pts.csv")}, 0, "2 points added", ""},
        {{"terrain", "import-lines", dir.file("joins.csv")}, 0, "1 lines added, 1 skipped", "joins.csv:3: no point named Z"},
        // Names typed go through the pickers' rules.
        {{"strings", "import", "PL", "KERB LEFT", dir.file("edge.csv")}, 2, "", "KERB LEFT: ' ' cannot be typed in a string name"},
        {{"strings", "show", std::string(32, 'S')}, 2, "", " is longer than 31 characters"},
        {{"terrain", "find-name", "A,B"}, 2, "", "A,B: ',' cannot be typed in a point name pattern"},
    };
    expectEach(cases);
}

// Network entry: a refused add or import leaves the table's bytes as they were; what is added or
// deleted shows in the list.
TEST_F(HostTest, NetworkNodesAreAddedImportedAndDeleted) {
    dbtest::writeFile(dir.file("bad.csv"), "NODE,SIZE1\nX1,abc\nX2,100\nX2,100\nMH1,100\n,100\n");
    dbtest::writeFile(dir.file("no_node.csv"), "SIZE1\n100\n");
    dbtest::writeFile(dir.file("good.csv"), "NODE;NEXT_NODE;SIZE1\nMH3;MH1;200\n\"MH 4\";;250\n");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::vector<std::string> err;
    };
    const std::vector<Case> refused = {
        {{"network", "add", "sewer", "MH1"}, 1, {"The sewer table has a node MH1 already"}},
        {{"network", "add", "sewer", "MH9", "SIZE1=abc"}, 1, {"SIZE1: \"abc\" is not a number"}},
        {{"network", "add", "sewer", "MH9", "SIZE1"}, 2, {"expected FIELD=VALUE, not SIZE1"}},
        {{"network", "delete", "sewer", "MH9"}, 1, {"No sewer node MH9"}},
        {{"network", "import", "sewer", dir.file("bad.csv")}, 1,
         {"bad.csv:2: SIZE1: \"abc\" is not a number", "bad.csv:4: The node X2 is given twice",
          "bad.csv:5: The sewer table has a node MH1 already", "bad.csv:6: The record has no NODE", "4 bad lines; nothing was added"}},
        {{"network", "import", "sewer", dir.file("no_node.csv")}, 1, {"the header row must name the fields, NODE among them"}},
    };
    const std::size_t before = hosttest::hashOf(sewer());
    for (const Case& c : refused) {
        const Outcome o = run(c.args);
        SCOPED_TRACE(c.args[1] + " " + c.args.back());
        EXPECT_EQ(o.code, c.code) << o.err;
        for (const std::string& message : c.err) EXPECT_NE(o.err.find(message), std::string::npos) << o.err;
        EXPECT_EQ(hosttest::hashOf(sewer()), before);
    }
    expectEach({{{"network", "import", "sewer", dir.file("good.csv")}, 0, "2 lines read, 2 records added to the sewer table", ""},
                {{"network", "add", "sewer", "MH5", "NEXT_NODE=MH3", "SIZE1=300"}, 0, "", ""},
                {{"network", "delete", "sewer", "MH2"}, 0, "", ""}});
    EXPECT_EQ(run({"network", "list", "sewer", "--fields", "NODE,NEXT_NODE,SIZE1", "--format", "csv"}).out,
              "NODE,NEXT_NODE,SIZE1\nMH1,MH2,160\nMH3,MH1,200\nMH 4,,250\nMH5,MH3,300\n");
}
