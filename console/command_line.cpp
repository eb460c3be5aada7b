// The console's command line: showing and hiding, the keyboard poll with its timing gates,
// the character table, paging, pasting, the history and the built-in commands "hide",
// "save", "clr" and "reload".
// Letters come from the key codes alone: no Caps Lock, no layout.
#include "console/console.h"

#include <cstring>
#include <string>

namespace {

const unsigned kMaxLine = 100;  // characters are appended only below this length

// One character key: its code, the unshifted and shifted text.
struct CharKey {
    unsigned char vk;
    const char* plain;
    const char* shifted;
};

// Tested after the letters and the minus key, in this order.
const CharKey kCharKeys[] = {
    {'1', "1", "!"}, {'2', "2", "@"}, {'3', "3", "#"}, {'4', "4", "$"}, {'5', "5", "%"},
    {'6', "6", "^"}, {'7', "7", "&"}, {'8', "8", "*"}, {'9', "9", "("}, {'0', "0", ")"},
    {VK_ADD, "=", "+"},        // numeric keypad add key
    {VK_DECIMAL, "\\", "|"},   // numeric keypad decimal key
    {VK_OEM_PERIOD, ".", ">"}, {VK_OEM_COMMA, ",", "<"}, {VK_SPACE, " ", " "},
};

const int kPageLines = 10;       // Page Up and Down move the message window by its height

bool IsEmpty(const Zarvik_string& s) { return s.getChars()[0] == '\0'; }

// A character some key of the table types.
bool Typeable(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_') return true;
    for (const CharKey& key : kCharKeys)
        if (c == key.plain[0] || c == key.shifted[0]) return true;
    return false;
}

}  // namespace

void Korvel_Console::Toggle() {
    if (keyTimer.Elapsed() / 6 > 55) {  // at least 336 ms
        keyTimer.Reset();
        visible = !visible;
    }
}

void Korvel_Console::RestartInputTimers() {
    keyTimer.Reset();
    editTimer.Reset();
}

// A key-down or button-up message: the next poll passes its gates at once.
void Korvel_Console::ExpireInputTimers() {
    keyTimer.reference += 100000;
    editTimer.reference += 100000;
}

void Korvel_Console::SetCommandQueue(DynamicRow* queue) {
    commandQueue = queue;
}

void Korvel_Console::SetTargets(Korvel_TimeLine* timeLine) {
    targets = timeLine;
}

void Korvel_Console::Paste() {
    if (!OpenClipboard(NULL)) return;
    std::string kept;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (const char* text = data ? static_cast<const char*>(GlobalLock(data)) : NULL) {
        for (const char* c = text; *c && *c != '\r' && *c != '\n'; ++c)
            if (Typeable(*c)) kept += *c;
        GlobalUnlock(data);
    }
    CloseClipboard();
    const size_t length = std::strlen(commandLine.getChars());
    if (length < kMaxLine) commandLine += kept.substr(0, kMaxLine - length).c_str();
}

void Korvel_Console::HandleKeys() {
    if (keyTimer.Elapsed() / 8 <= 200) return;  // less than 1608 ms since the last poll
    keyTimer.Reset();

    BYTE keys[256];
    std::memset(keys, 0, sizeof(keys));
    GetKeyboardState(keys);
    auto down = [&keys](int vk) { return (keys[vk & 0xFF] & 0x80) != 0; };

    // At most one character or navigation key per poll, the first one down in table order.
    if (std::strlen(commandLine.getChars()) < kMaxLine) {
        const bool shift = down(VK_LSHIFT);  // only the left Shift shifts
        // Ctrl+V and Shift+Insert (either side's keys) paste; the V then types nothing.
        bool done = (down(VK_CONTROL) && down('V')) || (down(VK_SHIFT) && down(VK_INSERT));
        if (done) Paste();
        for (int vk = 'A'; vk <= 'Z' && !done; ++vk) {
            if (!down(vk)) continue;
            char letter[2] = {static_cast<char>(shift ? vk : vk - 'A' + 'a'), '\0'};
            commandLine += letter;
            done = true;
        }
        if (!done && down(VK_OEM_MINUS)) {
            commandLine += (shift || down(VK_RSHIFT)) ? "_" : "-";
            done = true;
        }
        for (const CharKey& key : kCharKeys) {
            if (done) break;
            if (!down(key.vk)) continue;
            commandLine += shift ? key.shifted : key.plain;
            done = true;
        }
        if (!done) {
            if (down(VK_UP)) ShiftView(true);
            else if (down(VK_DOWN)) ShiftView(false);
            else if (down(VK_LEFT)) HistoryBack();
            else if (down(VK_RIGHT)) HistoryForward();
            else if (down(VK_PRIOR) || down(VK_NEXT)) {
                keyTimer.Reset();
                pagedView = true;
                ScrollView(down(VK_PRIOR), kPageLines);
            } else if (down(VK_TAB)) {
                Complete();
            }
        }
    }

    if (editTimer.Elapsed() / 6 > 15) {  // at least 96 ms
        editTimer.Reset();
        if (down(VK_BACK)) {
            size_t length = std::strlen(commandLine.getChars());
            if (length > 0) commandLine.getChars()[length - 1] = '\0';
        } else if (down(VK_RETURN)) {
            if (!IsEmpty(commandLine)) {
                viewEnd = 10;
                viewStart = 0;
                pagedView = false;
                tabPending_ = false;
                ExecuteLine(commandLine);
                history.AddToId(1, false, commandLine);
                historyCursor = history.lastId;
            }
            commandLine = "";
        } else if (down(VK_OEM_3)) {
            visible = false;
        }
    }
}

// Shows the entry at the cursor, then moves the cursor toward older entries (ids from 2).
void Korvel_Console::HistoryBack() {
    const unsigned last = history.lastId;
    unsigned& c = historyCursor;
    if (c > last) {
        c = 2;
    } else if (c > 2) {
        commandLine = history.iLookName(c);
        --c;
    } else if (c == 2) {
        commandLine = history.iLookName(2);
    } else {
        c = last;
        commandLine = history.iLookName(last);
    }
}

// Shows the entry at the cursor, then moves toward the newest; from the one before the
// newest it jumps to the newest and shows it.
void Korvel_Console::HistoryForward() {
    const long long last = history.lastId;
    const long long c = historyCursor;
    if (c > last) return;
    if (c < last - 1) {
        commandLine = history.iLookName(historyCursor);
        ++historyCursor;
    } else if (c == last) {
        commandLine = history.iLookName(history.lastId);
    } else {
        historyCursor = history.lastId;
        commandLine = history.iLookName(history.lastId);
    }
}

void Korvel_Console::ExecuteLine(Zarvik_string line) {
    if (IsEmpty(line)) return;
    line.NoTabs();
    Zarvik_string first;
    Zarvik_string rest;
    line.DivideTwoParameters(&first, &rest);

    if (first == "hide") {
        AddMessage(line, KIND_TEXT);
        visible = false;
    } else if (first == "save") {
        AddMessage(line, KIND_TEXT);
        if (Save(rest.getChars())) {
            AddMessage("Save completed", KIND_TEXT);
        } else {
            std::string failed = "[!] Save failed, cannot write: ";
            failed += rest.getChars();
            AddMessage(failed.c_str(), KIND_ERROR);
        }
    } else if (first == "clr") {
        AddMessage(line, KIND_TEXT);
        ClearLog();
    } else if (first == "reload") {
        // The console cannot restart the level it lives beside; the engine does it at the end
        // of the frame, when no manager is in use.
        AddMessage(line, KIND_TEXT);
        reloadAsked = true;
    } else {
        if (commandQueue) commandQueue->AddToId(1, false, line);
        AddMessage(line, KIND_COMMENT);
    }
}
