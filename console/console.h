// The console: a stamped message log that every subsystem writes to, a panel drawn over the
// scene while shown, and a command line with history and four built-in commands.
// Lines that are not built in are queued on the time line's tree; the console never runs them.
// It is single-threaded and never releases its fonts, buffers or trees.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "windows.h"
#include "d3d9.h"
#include "d3dx9.h"
#include "strings/zarvik_string.h"
#include "param_tree/dynamic_row.h"
#include "app/korvel_timer.h"

// Message kinds; each line of the log carries the tag of its kind as its only child.
class Korvel_TimeLine;
struct Korvel_Choice;

enum Korvel_MessageKind {
    KIND_TEXT = 0,     // "_TEXT_"
    KIND_ERROR = 1,    // "_ERROR_"
    KIND_COMMENT = 2,  // "_COMMENT_"
    KIND_SYSTEM = 3    // "_SYSTEM_"
};

class Korvel_Console {
public:
    explicit Korvel_Console(IDirect3DDevice9** device);

    DynamicRow log;                    // knot "LOG" (id logRootId), one knot per line, tag below
    unsigned int logRootId;            // id of the current "LOG" knot; always 1
    Korvel_Timer logClock;             // source of the stamps and of the clock
    short viewStart;                   // lower offset of the message window, -1 .. count
    short viewEnd;                     // upper offset, always viewStart + 10
    IDirect3DVertexBuffer9* panelBuffer;   // 4 panel vertices
    IDirect3DVertexBuffer9* frameBuffer;   // 33 frame vertices
    IDirect3DDevice9** device;         // address of the engine's device pointer
    ID3DXFont* messageFont;            // message lines and clock
    ID3DXFont* lineFont;               // command line
    ID3DXFont* titleFont;              // title
    Zarvik_string commandLine;         // text being typed, at most 100 characters
    D3DCOLOR panelColour;
    D3DCOLOR frameColour;
    DynamicRow* commandQueue;          // time line's tree, not owned; null until SetCommandQueue
    DynamicRow commandBase;            // read at start-up, read by nothing afterwards
    DynamicRow history;                // knot "_COMMANDS_" (id 1), one param per entered line
    unsigned int historyCursor;        // id the next Left/Right shows; 0 until a line is entered
    Korvel_Timer editTimer;            // gates Backspace, Enter and the hide key
    Korvel_Timer keyTimer;             // gates keyboard polls and the show key
    bool visible;
    bool reloadAsked;                  // "reload" was entered; the engine restarts the level
    Korvel_TimeLine* targets;          // whose managers Tab completes arguments from; not owned
    bool pagedView;                    // Page Up/Down or the wheel moved the window from the
                                       // newest lines: the panel marks it until it is back
    int wheelRest;                     // wheel delta short of a notch (WHEEL_DELTA, 120)

    // Start-up: timers, command base, history, buffers, fonts and the start line.
    HRESULT Start();

    // The log.
    void AddMessage(Zarvik_string text, short kind);
    void AddMessage(const char* text, short kind);
    void AddText(const char* text);
    // Writes the log tree; true when the file was written.
    bool Save(const char* fileName);
    // Empties the log and makes a new "LOG" knot; the clock keeps running.
    void ClearLog();

    // The panel.
    void Draw();
    void DrawMessageLine(Zarvik_string text, int x, int y, D3DCOLOR colour);
    void DrawCommandLine(Zarvik_string text, int x, int y, D3DCOLOR colour);
    void ShiftView(bool back);
    // Moves the window up to `lines` lines by the steps of ShiftView, without its timer reset.
    void ScrollView(bool back, int lines);
    // WM_MOUSEWHEEL's delta while shown: 3 lines a notch, positive toward older lines.
    void Wheel(int delta);

    // Showing, hiding and the command line.
    void Toggle();
    void RestartInputTimers();
    void ExpireInputTimers();
    void HandleKeys();
    void ExecuteLine(Zarvik_string line);
    void SetCommandQueue(DynamicRow* queue);
    void SetTargets(Korvel_TimeLine* timeLine);
    // Tab: completes the word at the end of the line from the command base and the managers;
    // when several fit and nothing is left to complete, a second Tab lists them in the log.
    void Complete();
    // Ctrl+V, Shift+Insert: appends the clipboard's text up to its first line break, keeping
    // only the characters the keys can type, while the line is shorter than 100 characters.
    void Paste();

    // Lines the log keeps; adding one more drops the oldest, so the log's memory stays
    // bounded and its "LOG" knot always fits the tree file's 16-bit child count.
    static constexpr unsigned int kMaxLines = 65535;

private:
    // Stamps `text` and adds it as one or more lines; nothing of the text is lost.
    void AddStamped(const char* text, short kind);
    void AddLine(const char* line, short kind);
    void HistoryBack();
    void HistoryForward();
    // Makes `lines_` list the children of the "LOG" knot again when the tree was changed
    // behind the console's back (a cheap check; a walk only then).
    void SyncLines();
    // "[q:r] ", the stamp a message added now gets.
    std::string Stamp();
    // The command base's commands in file order, then the built-ins it does not name.
    std::vector<std::string> Commands();
    // The actions the command base lists below `command` (following one alias).
    std::vector<std::string> Actions(const std::string& command);
    // What the word after the words `before` may be.
    std::vector<Korvel_Choice> Choices(const std::vector<std::string>& before);
    // One comment line naming the choices, as many as fit, then an ellipsis.
    void ListChoices(const std::vector<Korvel_Choice>& choices);

    std::deque<unsigned int> lines_;   // ids of the children of the "LOG" knot, oldest first
    std::string tabLine_;              // the line as the last Tab left it ...
    bool tabPending_ = false;          // ... since the last line was entered
};
