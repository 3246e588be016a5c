// What a user may mistype: every refusal gives its message and exit code and leaves the files'
// bytes as they were.
#include "host_fixture.h"

using hosttest::haveDbfread;
using hosttest::hashOf;

TEST_F(HostTest, BadInputIsRefusedAndLeavesTheFilesAsTheyWere) {
    const std::string forty(40, 'N');
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* message;
        const char* file;   // in the project folder; its bytes must not change
    };
    const std::vector<Case> cases = {
        {{"network", "set", "sewer", "MH1", "SIZE1=abc"}, 1,
         "SIZE1: \"abc\" is not a number (the field is N, width 5, 0 decimals)", "Site.sew"},
        {{"network", "set", "sewer", "MH1", "SELECTED=maybe"}, 1,
         "SELECTED: \"maybe\" is not a logical value (T, F, Y or N) (the field is L, width 1, 0 decimals)", "Site.sew"},
        {{"network", "set", "sewer", "MH1", "SIZE1=999999"}, 1, "SIZE1: \"999999\" is too large for the field", "Site.sew"},
        {{"network", "set", "sewer", "MH1", "INLEVEL=103.1234567"}, 1,
         "has more decimals than the field keeps (the field is N, width 12, 6 decimals)", "Site.sew"},
        {{"network", "set", "sewer", "MH1", "SIZE1=200", "SIZE1=nan"}, 1, "SIZE1: \"nan\" is not a number", "Site.sew"},
        {{"network", "set", "sewer", "MH1", "SIZE1"}, 2, "FIELD=VALUE: expected FIELD=VALUE, not SIZE1", "Site.sew"},
        {{"network", "set", "sewer", "MH1", "NO_FIELD=1"}, 1, "The sewer table has no field NO_FIELD", "Site.sew"},
        {{"network", "set", "sewer", "MH1", "NEXT_NODE=" + forty}, 1,
         "is longer than the field (the field is C, width 25, 0 decimals)", "Site.sew"},
        {{"network", "set", "sewer", forty, "SIZE1=1"}, 1, "NODE: \"NNNN", "Site.sew"},
        {{"network", "set", "sewer", "MH1", "NODE=\xE6\x97\xA5"}, 1, "which the table's code page (Windows-1252) lacks (the field is C, width 25", "Site.sew"},
        {{"network", "set", "sewer", "MH1", "L_TYPE=\xC3"}, 1, "L_TYPE: \"\xC3\" is not UTF-8 text", "Site.sew"},
        {{"network", "set", "sewer", "MH1", "SUBNET=-3"}, 1, "SUBNET: \"-3\" is not a whole number from 0", "Site.sew"},
        {{"road", "insert", "nan"}, 2, "CHAINAGE: nan is not a number", "Site.1.sec"},
        {{"road", "delete", "12abc"}, 2, "CHAINAGE: 12abc is not a number", "Site.1.sec"},
        {{"road", "--road", "0", "list"}, 2, "--road: road numbers start at 1", "Site.1.sec"},
        {{"road", "--road", "101", "insert", "5"}, 2, "roads are numbered 1 to 100", "Site.101.sec"},
        {{"terrain", "create", "--extent", "inf"}, 2, "--extent: inf is not a number", "Site.dtm"},
        {{"terrain", "create", "--centre-y", "nan"}, 2, "--centre-y: nan is not a number", "Site.dtm"},
        {{"section", "long", "0", "0", "1e400", "0"}, 2, "Y2: 1e400 is out of range", "Site.dtm"},
        {{"road", "store-section", "10", "200", dir.file("bad.csv")}, 2, "LAYER: Value 200 not in range 1 to 128", "Site.1.sec"},
        {{"road", "store-section", "10", "2", dir.file("bad.csv")}, 1, "bad.csv:3: field 2 (nan) is not a number", "Site.1.sec"},
    };
    dbtest::writeFile(dir.file("bad.csv"), "offset,elevation\n-5,100.2\n0,nan\n");
    for (const Case& c : cases) {
        const std::string file = dir.file("site/" + std::string(c.file));
        const std::size_t before = hashOf(file);
        const Outcome o = run(c.args);
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args.back());
        EXPECT_EQ(o.code, c.code) << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
        EXPECT_EQ(o.out.find("Saved"), std::string::npos) << o.out;
        EXPECT_EQ(hashOf(file), before);
    }
}

// Text goes into the table in its code page (1252) and comes back out as UTF-8.
TEST_F(HostTest, TextTravelsInTheTablesCodePage) {
    const std::string name = "Caf\xC3\xA9\xE2\x82\xAC";   // Café€
    Outcome o = run({"network", "set", "sewer", "MH2", "NODE=" + name, "SELECTED=yes", "SUBNET=7"});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_NE(dbtest::readFile(sewer()).find("Caf\xE9\x80"), std::string::npos);
    o = run({"network", "seek", "sewer", name, "--fields", "NODE,SELECTED,SUBNET"});
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_NE(o.out.find(name + " "), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("T "), std::string::npos) << o.out;

    if (!haveDbfread()) GTEST_SKIP() << "/usr/bin/python3 with dbfread is not installed";
    const std::string script = dir.file("read.py");
    dbtest::writeFile(script,
                      "import sys, dbfread\n"
                      "r = list(dbfread.DBF(sys.argv[1]))[1]\n"
                      "sys.stdout.buffer.write(('%s|%s|%s' % (r['NODE'], r['SELECTED'], r['SUBNET'])).encode('utf-8'))\n");
    FILE* pipe = popen(("/usr/bin/python3 " + script + " " + sewer() + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[256] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, pipe);
    pclose(pipe);
    EXPECT_EQ(std::string(buffer, n), name + "|True|0007");
}

// Ctrl-C and SIGTERM press Escape: the work stops at its next check, and the command says so
// and fails.
TEST_F(HostTest, InterruptedWorkIsCancelled) {
    for (const int sig : {SIGTERM, SIGINT}) {
        const pid_t pid = start({"next-name", "A1", "--count", "10000000"}, false);
        // The status line shows that the loop has started.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (dbtest::readFile(dir.file("stderr")).find("Numbering points") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        kill(pid, sig);
        const Outcome o = finish(pid);
        EXPECT_EQ(o.code, 1) << sig;
        EXPECT_NE(o.err.find("Cancelled"), std::string::npos) << o.err;
        EXPECT_EQ(o.out.find("A10000001"), std::string::npos);
    }
}
