// Values checked against a field's definition before they are written: what fits, in the form
// the field stores it, and why the rest does not.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/table.h"

TEST(FieldCheck, TextsFitTheirFieldOrSayWhyNot) {
    struct Case {
        char type;
        int len, dec;
        const char* text;
        const char* stored;    // null: refused
        const char* problem;   // beginning of the reason
    };
    const std::vector<Case> cases = {
        // Trailing blanks are padding; "" is a blank number.
        {'C', 5, 0, "MH1", "MH1", nullptr},        {'C', 5, 0, " MH1  ", " MH1", nullptr},
        {'C', 5, 0, "MH1234", nullptr, "is longer than the field"},
        {'N', 5, 0, " 160 ", "160", nullptr},      {'N', 5, 0, "1e3", "1000", nullptr},
        {'N', 5, 0, "160.0", "160", nullptr},      {'N', 9, 3, "-0.1", "-0.100", nullptr},
        {'N', 9, 3, "", "", nullptr},              {'N', 5, 0, "160.5", nullptr, "has more decimals"},
        {'N', 12, 6, "1.1234567", nullptr, "has more decimals"}, {'N', 5, 0, "999999", nullptr, "is too large"},
        {'N', 5, 2, "123.45", nullptr, "is too large"}, {'N', 5, 0, "1e400", nullptr, "is too large"},
        {'N', 5, 0, "abc", nullptr, "is not a number"}, {'N', 5, 0, "12abc", nullptr, "is not a number"},
        {'N', 5, 0, "nan", nullptr, "is not a number"}, {'N', 5, 0, "inf", nullptr, "is not a number"},
        {'N', 5, 0, "0x10", nullptr, "is not a number"}, {'F', 8, 2, "1.5", "1.50", nullptr},
        {'L', 1, 0, "yes", "T", nullptr},          {'L', 1, 0, "n", "F", nullptr},
        {'L', 1, 0, "maybe", nullptr, "is not a logical value"}, {'D', 8, 0, "2024-02-29", "20240229", nullptr},
        {'D', 8, 0, "20230229", nullptr, "is not a date"}, {'M', 10, 0, "x", nullptr, "is for a field of a type"},
    };
    for (const Case& c : cases) {
        std::string stored = "untouched";
        const char* problem = f4valueProblem(c.type, c.len, c.dec, c.text, stored);
        SCOPED_TRACE(std::string(1, c.type) + " \"" + c.text + "\"");
        if (c.stored) {
            EXPECT_EQ(problem, nullptr) << problem;
            EXPECT_EQ(stored, c.stored);
        } else {
            ASSERT_NE(problem, nullptr);
            EXPECT_EQ(std::string(problem).rfind(c.problem, 0), 0u) << problem;
        }
    }
}

TEST(FieldCheck, RealsMustBeFiniteAndFitTheWidth) {
    // 12.3456 is rounded to the field's decimals; null: fits.
    const struct {
        char type;
        int len, dec;
        double value;
        const char* problem;
    } cases[] = {{'N', 8, 3, 12.3456, nullptr},          {'N', 5, 0, 99999.0, nullptr}, {'N', 5, 0, 100000.0, "is too large for the field"},
                 {'N', 5, 0, std::nan(""), "is not a finite number"}, {'N', 5, 0, -INFINITY, "is not a finite number"},
                 {'L', 1, 0, 1.0, nullptr}};
    for (const auto& c : cases) {
        const char* problem = f4numberProblem(c.type, c.len, c.dec, c.value);
        EXPECT_EQ(std::string(problem ? problem : "fits"), c.problem ? c.problem : "fits") << c.value;
    }
}
