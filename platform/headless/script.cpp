// Scripted input for a run of the program: the file named by MESHES_SCRIPT, one event a line,
// played against the frames the engine presents (format in README.md).
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <strings.h>

#include "platform/headless/headless_impl.h"

namespace headless {

namespace {

struct KeyName {
    const char* name;
    BYTE vk;
};
const KeyName kKeyNames[] = {
    {"VK_LBUTTON", VK_LBUTTON}, {"VK_RBUTTON", VK_RBUTTON}, {"VK_BACK", VK_BACK}, {"VK_TAB", VK_TAB},
    {"VK_RETURN", VK_RETURN}, {"VK_SHIFT", VK_SHIFT}, {"VK_CONTROL", VK_CONTROL}, {"VK_MENU", VK_MENU},
    {"VK_ESCAPE", VK_ESCAPE}, {"VK_SPACE", VK_SPACE}, {"VK_PRIOR", VK_PRIOR}, {"VK_NEXT", VK_NEXT},
    {"VK_END", VK_END}, {"VK_HOME", VK_HOME}, {"VK_LEFT", VK_LEFT}, {"VK_UP", VK_UP},
    {"VK_RIGHT", VK_RIGHT}, {"VK_DOWN", VK_DOWN}, {"VK_INSERT", VK_INSERT}, {"VK_DELETE", VK_DELETE},
    {"VK_NUMPAD0", VK_NUMPAD0}, {"VK_NUMPAD1", VK_NUMPAD1}, {"VK_NUMPAD2", VK_NUMPAD2},
    {"VK_NUMPAD3", VK_NUMPAD3}, {"VK_NUMPAD4", VK_NUMPAD4}, {"VK_NUMPAD5", VK_NUMPAD5},
    {"VK_NUMPAD6", VK_NUMPAD6}, {"VK_NUMPAD7", VK_NUMPAD7}, {"VK_NUMPAD8", VK_NUMPAD8},
    {"VK_NUMPAD9", VK_NUMPAD9}, {"VK_MULTIPLY", VK_MULTIPLY}, {"VK_ADD", VK_ADD},
    {"VK_SUBTRACT", VK_SUBTRACT}, {"VK_DECIMAL", VK_DECIMAL}, {"VK_DIVIDE", VK_DIVIDE},
    {"VK_F1", VK_F1}, {"VK_F2", VK_F2}, {"VK_F3", VK_F3}, {"VK_F4", VK_F4}, {"VK_F5", VK_F5},
    {"VK_F6", VK_F6}, {"VK_F7", VK_F7}, {"VK_F8", VK_F8}, {"VK_F9", VK_F9}, {"VK_F10", VK_F10},
    {"VK_F11", VK_F11}, {"VK_F12", VK_F12}, {"VK_LSHIFT", VK_LSHIFT}, {"VK_RSHIFT", VK_RSHIFT},
    {"VK_LCONTROL", VK_LCONTROL}, {"VK_RCONTROL", VK_RCONTROL}, {"VK_LMENU", VK_LMENU},
    {"VK_RMENU", VK_RMENU}, {"VK_OEM_1", VK_OEM_1}, {"VK_OEM_PLUS", VK_OEM_PLUS},
    {"VK_OEM_COMMA", VK_OEM_COMMA}, {"VK_OEM_MINUS", VK_OEM_MINUS}, {"VK_OEM_PERIOD", VK_OEM_PERIOD},
    {"VK_OEM_2", VK_OEM_2}, {"VK_OEM_3", VK_OEM_3}, {"VK_OEM_4", VK_OEM_4}, {"VK_OEM_5", VK_OEM_5},
    {"VK_OEM_6", VK_OEM_6}, {"VK_OEM_7", VK_OEM_7},
};

std::vector<ScriptStep>* g_script = nullptr;   // the parsed script of this run

bool ParseInt(const std::string& s, int& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end || v < -1000000000L || v > 1000000000L) return false;
    out = static_cast<int>(v);
    return true;
}

// The key and Shift state that type `c` on a US keyboard, main block only.
bool KeyForChar(char c, BYTE& vk, bool& shift) {
    for (int s = 0; s < 2; ++s) {
        for (int k = 1; k < 256; ++k) {
            if (k >= VK_NUMPAD0 && k <= VK_DIVIDE) continue;
            if (k == VK_RETURN || k == VK_BACK || k == VK_TAB || k == VK_ESCAPE) continue;
            if (CharForKey(static_cast<BYTE>(k), s == 1) == static_cast<unsigned char>(c)) {
                vk = static_cast<BYTE>(k);
                shift = s == 1;
                return true;
            }
        }
    }
    return false;
}

// The text after the event word: one blank after it skipped, the line end dropped.
std::string RestOfLine(const std::string& line, const std::string& word) {
    size_t at = line.find(word) + word.size();
    if (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    std::string text = line.substr(at);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    return text;
}

// Clipboard text with the escapes \n, \r, \t, \\ and \xHH (two hex digits) for the bytes a
// script line cannot hold; false at any other escape.
bool Unescape(const std::string& in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i >= in.size()) return false;
        switch (in[i]) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        case 'x': {
            if (i + 2 >= in.size()) return false;
            if (!std::isxdigit(static_cast<unsigned char>(in[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(in[i + 2])))
                return false;
            out += static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16));
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

void Add(std::vector<ScriptStep>& out, ScriptStep::Op op, int a = 0, int b = 0) {
    ScriptStep s;
    s.op = op;
    s.a = a;
    s.b = b;
    out.push_back(s);
}

// Parses one line into steps; false with a reason when it is not an event.
bool ParseLine(const std::string& line, std::vector<ScriptStep>& out, std::string& err) {
    std::istringstream in(line);
    std::string word;
    if (!(in >> word) || word[0] == '#') return true;   // blank or comment
    std::vector<std::string> rest;
    for (std::string w; in >> w;) rest.push_back(w);
    if (word == "wait") {
        int n;
        if (rest.size() != 1 || !ParseInt(rest[0], n) || n < 0) return err = "wait needs a frame count", false;
        Add(out, ScriptStep::Wait, n);
    } else if (word == "key" || word == "press") {
        bool press = word == "press";
        if (rest.size() != (press ? 1u : 2u)) return err = word + " needs " + (press ? "a key" : "down or up and a key"), false;
        const std::string& name = rest.back();
        BYTE vk = KeyByName(name);
        if (!vk) return err = "unknown key '" + name + "'", false;
        if (press) {
            Add(out, ScriptStep::KeyDown, vk);
            Add(out, ScriptStep::Wait, 1);
            Add(out, ScriptStep::KeyUp, vk);
        } else if (rest[0] == "down" || rest[0] == "up") {
            Add(out, rest[0] == "down" ? ScriptStep::KeyDown : ScriptStep::KeyUp, vk);
        } else {
            return err = "key needs down or up", false;
        }
    } else if (word == "type") {
        for (char c : RestOfLine(line, word)) {
            BYTE vk;
            bool shift;
            if (!KeyForChar(c, vk, shift)) return err = std::string("cannot type '") + c + "'", false;
            if (shift) Add(out, ScriptStep::KeyDown, VK_LSHIFT);
            Add(out, ScriptStep::KeyDown, vk);
            Add(out, ScriptStep::Wait, 1);
            Add(out, ScriptStep::KeyUp, vk);
            if (shift) Add(out, ScriptStep::KeyUp, VK_LSHIFT);
        }
    } else if (word == "mouse") {
        int x, y;
        if (rest.size() == 3 && rest[0] == "move" && ParseInt(rest[1], x) && ParseInt(rest[2], y)) {
            Add(out, ScriptStep::MouseMove, x, y);
        } else if (rest.size() == 2 && (rest[0] == "down" || rest[0] == "up") &&
                   (rest[1] == "left" || rest[1] == "right")) {
            Add(out, rest[0] == "down" ? ScriptStep::MouseDown : ScriptStep::MouseUp, rest[1] == "left");
        } else {
            return err = "mouse needs 'move X Y', 'down left|right' or 'up left|right'", false;
        }
    } else if (word == "wheel") {
        int notches;
        if (rest.size() != 1 || !ParseInt(rest[0], notches) || notches == 0 || notches < -100 ||
            notches > 100)
            return err = "wheel needs notches, -100 to 100 but not 0 (positive: away)", false;
        Add(out, ScriptStep::Wheel, notches * WHEEL_DELTA);
    } else if (word == "clipboard") {
        ScriptStep step;
        step.op = ScriptStep::Clipboard;
        if (!Unescape(RestOfLine(line, word), step.text))
            return err = "clipboard text knows only the escapes \\n \\r \\t \\\\ \\xHH", false;
        out.push_back(step);
    } else if (word == "close") {
        if (!rest.empty()) return err = "close takes nothing", false;
        Add(out, ScriptStep::Close);
    } else {
        return err = "unknown event '" + word + "'", false;
    }
    return true;
}

}  // namespace

BYTE KeyByName(const std::string& name) {
    if (name.size() == 1) {
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<BYTE>(c);
        return 0;
    }
    for (const KeyName& k : kKeyNames)
        if (strcasecmp(k.name, name.c_str()) == 0) return k.vk;
    return 0;
}

bool ParseScript(const std::string& text, std::vector<ScriptStep>& out, std::string& err) {
    out.clear();
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::string why;
        if (!ParseLine(line, out, why)) {
            err = std::to_string(number) + ": " + why;
            out.clear();
            return false;
        }
    }
    return true;
}

bool LoadScript(const std::string& path, std::string& err) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err = "cannot read the script " + path;
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto steps = std::make_unique<std::vector<ScriptStep>>();
    std::string why;
    if (!ParseScript(text, *steps, why)) {
        err = path + ":" + why;
        return false;
    }
    FreeScript();
    g_script = steps.release();
    S().script = g_script;
    S().scriptPos = 0;
    S().scriptWait = 0;
    return true;
}

void FreeScript() {
    delete g_script;
    g_script = nullptr;
    S().script = nullptr;
}

// After each presented frame of a run: the next events of the script, or with no script the
// close after the frame limit. A script that ends without `close` closes the window.
void RunScriptFrame() {
    State& s = S();
    if (s.closePosted) return;
    if (!s.script) {
        if (s.presents >= s.frameLimit) {
            PostClose();
            s.closePosted = true;
        }
        return;
    }
    if (s.scriptWait > 0 && --s.scriptWait > 0) return;
    while (s.scriptPos < s.script->size()) {
        const ScriptStep& st = (*s.script)[s.scriptPos++];
        switch (st.op) {
        case ScriptStep::Wait:
            s.scriptWait = static_cast<DWORD>(st.a);
            if (s.scriptWait > 0) return;
            break;
        case ScriptStep::KeyDown: KeyDown(static_cast<BYTE>(st.a)); break;
        case ScriptStep::KeyUp: KeyUp(static_cast<BYTE>(st.a)); break;
        case ScriptStep::MouseMove: MouseMove(st.a, st.b); break;
        case ScriptStep::MouseDown: MouseButton(st.a != 0, true); break;
        case ScriptStep::MouseUp: MouseButton(st.a != 0, false); break;
        case ScriptStep::Wheel: MouseWheel(st.a); break;
        case ScriptStep::Clipboard: SetClipboardText(st.text); break;
        case ScriptStep::Close:
            PostClose();
            s.closePosted = true;
            return;
        }
    }
    PostClose();
    s.closePosted = true;
}

}  // namespace headless
