// Tab completion on the console's command line: the first word from the command base
// ("GlobalCommandBase.DR", in its order) and the built-ins, the second from the actions the
// base lists below that command, the third from what the managers hold now (cameras,
// objects). It never runs or checks a line; a word it does not know completes to nothing.
#include "console/console.h"

#include <algorithm>
#include <cstring>

#include "console/time_line.h"

namespace {

const char* const kBuiltIns[] = {"hide", "save", "clr", "reload"};
const size_t kMaxLine = 100;   // the longest line the keys can make
const size_t kLogLine = 80;    // a stamped message up to this length stays one log line
// "…" in code page 1251, the log's own encoding: one character, drawn as such by the fonts,
// where three dots would take room from the names.
const char kEllipsis[] = "\x85";

// The words before the last space, runs of spaces counting as one as when the line runs; a
// line that starts with a space has an empty first word.
std::vector<std::string> WordsBefore(const std::string& head) {
    std::vector<std::string> words;
    size_t at = 0;
    while (at <= head.size()) {
        size_t space = head.find(' ', at);
        if (space == std::string::npos) space = head.size();
        std::string word = head.substr(at, space - at);
        if (!word.empty() || (at == 0 && space < head.size())) words.push_back(word);
        at = space + 1;
    }
    return words;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// The knots the command base's commands are: the children of its one top-level knot, or the
// top-level nodes themselves when there are several.
std::vector<unsigned> CommandIds(DynamicRow& base) {
    std::vector<unsigned> ids;
    if (!base.chkById(1)) return ids;
    for (unsigned id = 1; id; id = base.NextId(id)) ids.push_back(id);
    if (ids.size() == 1 && base.isKnot(1) && base.iCountKnots(1) > 0) {
        ids.clear();
        for (unsigned id = base.TopId(1); id; id = base.NextId(id)) ids.push_back(id);
    }
    return ids;
}

unsigned FindCommand(DynamicRow& base, const std::string& name) {
    for (unsigned id : CommandIds(base))
        if (name == base.iLookName(id).getChars()) return id;
    return 0;
}

void AddOnce(std::vector<std::string>& names, const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

}  // namespace

std::vector<std::string> Korvel_Console::Commands() {
    std::vector<std::string> names;
    for (unsigned id : CommandIds(commandBase))
        AddOnce(names, commandBase.iLookName(id).getChars());
    for (const char* builtIn : kBuiltIns) AddOnce(names, builtIn);
    return names;
}

// Knot children are actions; a command with only params may name another command whose
// actions it shares ("camera_manager { cam_mngr }"). Params otherwise describe an argument.
std::vector<std::string> Korvel_Console::Actions(const std::string& command) {
    std::vector<std::string> names;
    unsigned id = FindCommand(commandBase, command);
    if (id && commandBase.iCountKnots(id) == 0) {
        for (unsigned child = commandBase.TopId(id); child; child = commandBase.NextId(child)) {
            std::string other = commandBase.iLookName(child).getChars();
            if (other == command) continue;
            if (unsigned alias = FindCommand(commandBase, other)) {
                id = alias;
                break;
            }
        }
    }
    if (!id) return names;
    for (unsigned child = commandBase.TopId(id); child; child = commandBase.NextId(child))
        if (commandBase.isKnot(child)) AddOnce(names, commandBase.iLookName(child).getChars());
    return names;
}

std::vector<Korvel_Choice> Korvel_Console::Choices(const std::vector<std::string>& before) {
    std::vector<Korvel_Choice> choices;
    if (before.size() == 2) return targets ? targets->Arguments(before[0], before[1]) : choices;
    if (before.size() > 2) return choices;
    for (const std::string& name : before.empty() ? Commands() : Actions(before[0]))
        choices.push_back({name, ""});
    return choices;
}

void Korvel_Console::ListChoices(const std::vector<Korvel_Choice>& choices) {
    std::string all;
    for (const Korvel_Choice& c : choices) {
        if (!all.empty()) all += ' ';
        all += c.alias.empty() ? c.text : c.text + ":" + c.alias;
    }
    const size_t room = kLogLine - std::min(kLogLine - 8, Stamp().size());
    if (all.size() > room) {
        // Whole names only, as many as leave room for a space and the ellipsis.
        size_t cut = all.rfind(' ', room - 2);
        all = (cut == std::string::npos ? all.substr(0, room - 1) : all.substr(0, cut + 1)) +
              kEllipsis;
    }
    AddMessage(all.c_str(), KIND_COMMENT);
}

void Korvel_Console::Complete() {
    const std::string line = commandLine.getChars();
    const size_t start = line.rfind(' ') == std::string::npos ? 0 : line.rfind(' ') + 1;
    const std::string word = line.substr(start);

    std::vector<Korvel_Choice> matches;
    for (const Korvel_Choice& c : Choices(WordsBefore(line.substr(0, start))))
        if (StartsWith(c.text, word) || (!c.alias.empty() && StartsWith(c.alias, word)))
            matches.push_back(c);
    if (matches.empty()) return;

    std::string completed;
    if (matches.size() == 1) {
        completed = matches[0].text + " ";
    } else {
        completed = matches[0].text;
        for (const Korvel_Choice& c : matches) {
            size_t n = 0;
            while (n < completed.size() && n < c.text.size() && completed[n] == c.text[n]) ++n;
            completed.resize(n);
        }
        // Nothing more in common (or the word is a name, not a prefix): the second Tab lists.
        if (completed.size() <= word.size() || !StartsWith(completed, word)) {
            if (tabPending_ && tabLine_ == line) ListChoices(matches);
            tabLine_ = line;
            tabPending_ = true;
            return;
        }
    }
    const std::string result = line.substr(0, start) + completed;
    if (result.size() > kMaxLine) return;   // a cut name would name nothing
    commandLine = result.c_str();
    tabLine_ = result;
    tabPending_ = true;
}
