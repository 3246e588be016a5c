// The host program as a user meets it: the built sitebase run as a subprocess in a project of its
// own, its settings in the test's folder.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cairo.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/fixture.h"
#include "common/png_ink.h"
#include "platform/table.h"

namespace hosttest {

struct Outcome {
    int code = -1;
    std::string out, err;
};

inline bool haveDbfread() {
    return access("/usr/bin/python3", X_OK) == 0 &&
           std::system("/usr/bin/python3 -c 'import dbfread' >/dev/null 2>&1") == 0;
}

using dbtest::inkOf;   // a PNG's size and its pixels that are not white
inline bool havePdftoppm() { return access("/usr/bin/pdftoppm", X_OK) == 0; }

// Checks that the text holds each fragment.
inline void expectHolds(const std::string& text, std::initializer_list<std::string> fragments) {
    for (const std::string& fragment : fragments) EXPECT_NE(text.find(fragment), std::string::npos) << fragment << " in\n" << text;
}

inline std::size_t hashOf(const std::string& path) { return std::hash<std::string>{}(dbtest::readFile(path)); }

}  // namespace hosttest

using hosttest::Outcome;

// sitebase run in the test's own folder, its settings there too.
class SitebaseTest : public ::testing::Test {
protected:
    // Starts sitebase with the arguments, its settings in the test's folder.
    pid_t start(const std::vector<std::string>& args, bool quiet = true) {
        std::vector<std::string> argv = {SITEBASE_BINARY};
        if (quiet) argv.push_back("--quiet");
        if (answerYes) argv.push_back("--yes");
        argv.insert(argv.end(), args.begin(), args.end());
        const std::string out = dir.file("stdout"), err = dir.file("stderr"), config = dir.file("sitebase.ini");
        dbtest::writeFile(err, "");
        const pid_t pid = fork();
        if (pid == 0) {
            if (!workFolder.empty() && chdir(workFolder.c_str()) != 0) _exit(126);
            setenv("SITEBASE_CONFIG", config.c_str(), 1);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
            std::vector<char*> raw;
            for (std::string& a : argv) raw.push_back(a.data());
            raw.push_back(nullptr);
            execv(raw[0], raw.data());
            _exit(127);
        }
        return pid;
    }

    Outcome finish(pid_t pid) {
        Outcome o;
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) o.code = WEXITSTATUS(status);
        o.out = dbtest::readFile(dir.file("stdout"));
        o.err = dbtest::readFile(dir.file("stderr"));
        return o;
    }

    Outcome run(const std::vector<std::string>& args) { return finish(start(args)); }

    // A command and what it must give: its exit code, and a text its output and one its error
    // output contain ("" for any).
    struct Expected {
        std::vector<std::string> args;
        int code;
        const char* out;
        const char* err;
    };
    // Runs each command in turn and checks what it gave.
    void expectEach(const std::vector<Expected>& cases) {
        for (const Expected& c : cases) {
            std::string line;
            for (const std::string& a : c.args) line += a + " ";
            SCOPED_TRACE(line);
            const Outcome o = run(c.args);
            EXPECT_EQ(o.code, c.code) << o.err;
            EXPECT_NE(o.out.find(c.out), std::string::npos) << o.out;
            EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
        }
    }

    dbtest::TempDir dir;
    std::string workFolder;   // where sitebase runs (empty: the test's own folder)
    bool answerYes = false;   // --yes: every question answered Yes
};

class HostTest : public SitebaseTest {
protected:
    // A project with a sewer table of two records, MH1 -> MH2.
    void SetUp() override {
        ASSERT_EQ(run({"project", "new", dir.file("site"), "Site"}).code, 0);
        ASSERT_EQ(run({"network", "open", "sewer"}).code, 0);
        CODE4 code{};
        code4initLow(&code, nullptr, 6401, 1300);
        DATA4* data = d4open(&code, sewer().c_str());
        ASSERT_NE(data, nullptr);
        for (const char* node : {"MH1", "MH2"}) {
            ASSERT_EQ(d4appendBlank(data), 0);
            f4assign(d4field(data, "NODE"), node);
            f4assign(d4field(data, "NEXT_NODE"), node[2] == '1' ? "MH2" : "");
            f4assignInt(d4field(data, "SIZE1"), 160);
        }
        d4close(data);
        code4initUndo(&code);
        ASSERT_FALSE(dbtest::readFile(sewer()).empty());
    }

    std::string sewer() const { return dir.file("site/Site.sew"); }
};

