// Names typed on the command line, checked by the pickers the dialogs use: the text is typed
// into the control character by character, and the first character the control refuses is the
// reason given.
#include "host.h"

#include "database/controls.h"

namespace {

std::string typedProblem(CEdit& edit, const std::string& text, const char* kind, int most) {
    for (char c : text) {
        const int before = edit.GetWindowTextLength();
        edit.SendChar(static_cast<unsigned char>(c));
        if (edit.GetWindowTextLength() > before) continue;
        if (before >= most) return text + " is longer than " + std::to_string(most) + " characters";
        return text + ": '" + std::string(1, c) + "' cannot be typed in " + kind;
    }
    return "";
}

}  // namespace

std::string pointNameProblem(const std::string& text, bool patterns) {
    if (text.empty()) return "a point name cannot be empty";
    CNamesEdit edit;
    edit.SetAllowWildcards(patterns);
    edit.SetAllowSuffixes(patterns);
    return typedProblem(edit, text, patterns ? "a point name pattern" : "a point name", kPointNameChars);
}

std::string stringNameProblem(const std::string& text) {
    if (text.empty()) return "a string name cannot be empty";
    CStringNamesEdit edit;
    return typedProblem(edit, text, "a string name", kStringNameChars);
}
