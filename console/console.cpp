// The console's construction and start-up, its log (stamps, cutting into lines, clear, save)
// and the panel it draws over the scene. Key handling lives in command_line.cpp.
#include "console/console.h"

#include <cstring>
#include <string>

namespace {

// Pre-transformed, coloured vertex of the panel and frame: 20 bytes.
struct PanelVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
};
static_assert(sizeof(PanelVertex) == 20, "panel vertices are 20 bytes");

const DWORD kPanelFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
const int kLineLength = 80;           // a cut line holds 81 characters, the rest 3 + 80
const unsigned kCommandShown = 30;    // characters of the command line drawn

const char* const kTags[4] = {"_TEXT_", "_ERROR_", "_COMMENT_", "_SYSTEM_"};
const D3DCOLOR kKindColours[4] = {0xFFF5F5FF, 0xFFFF5000, 0xFF0AA050, 0xFF6B73A9};

const float kPanel[4][2] = {{10, 140}, {10, 12}, {400, 140}, {600, 12}};
const float kFrame[33][2] = {
    {10, 150},  {10, 140}, {400, 150},   // 1
    {400, 140}, {400, 150}, {10, 140},   // 2
    {400, 150}, {400, 140}, {600, 12},   // 3
    {400, 150}, {600, 12},  {610, 12},   // 4
    {1, 12},    {10, 12},   {10, 150},   // 5
    {10, 150},  {5, 150},   {1, 12},     // 6
    {630, 5},   {630, 60},  {543, 60},   // 7
    {630, 2},   {620, 12},  {1, 12},     // 8
    {1, 12},    {1, 2},     {630, 2},    // 9
    {630, 65},  {630, 92},  {597, 65},   // 10
    {627, 68},  {627, 85},  {605, 68},   // 11
};

// Millisecond remainder shown in stamps and the clock: small values are scaled up.
unsigned ScaleRemainder(unsigned r) {
    if (r < 10) r *= 100;
    if (r < 100) r *= 10;
    return r;
}

// "[q:r] " for t milliseconds, with q = t / divisor.
std::string ClockText(DWORD t, unsigned divisor) {
    std::string s = "[";
    s += std::to_string(t / divisor);
    s += ":";
    s += std::to_string(ScaleRemainder(t % divisor));
    s += "] ";
    return s;
}

Zarvik_string MakeString(const char* text) {
    Zarvik_string s;
    s = text;
    return s;
}

// Fills a new vertex buffer with the given corners; false when it cannot be made or locked.
bool FillBuffer(IDirect3DDevice9* dev, const float (*corners)[2], int count,
                D3DCOLOR (*colourOf)(int, D3DCOLOR), D3DCOLOR colour,
                IDirect3DVertexBuffer9** out) {
    if (!dev) return false;
    UINT bytes = count * sizeof(PanelVertex);
    if (FAILED(dev->CreateVertexBuffer(bytes, 0, kPanelFvf, D3DPOOL_DEFAULT, out, NULL)) || !*out)
        return false;
    void* data = NULL;
    if (FAILED((*out)->Lock(0, 0, &data, 0)) || !data) return false;
    PanelVertex* v = static_cast<PanelVertex*>(data);
    for (int i = 0; i < count; ++i) {
        v[i].x = corners[i][0];
        v[i].y = corners[i][1];
        v[i].z = 0.5f;
        v[i].rhw = 1.0f;
        v[i].colour = colourOf(i, colour);
    }
    (*out)->Unlock();
    return true;
}

D3DCOLOR SameColour(int, D3DCOLOR colour) { return colour; }
D3DCOLOR FrameColour(int i, D3DCOLOR colour) { return i < 30 ? colour : 0xFF3C3C3C; }

const char* const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

}  // namespace

Korvel_Console::Korvel_Console(IDirect3DDevice9** deviceAddress)
    : logRootId(0), viewStart(0), viewEnd(10), panelBuffer(NULL), frameBuffer(NULL),
      device(deviceAddress), messageFont(NULL), lineFont(NULL), titleFont(NULL),
      panelColour(0xFF222222), frameColour(0xFF0A0A0A), commandQueue(NULL), historyCursor(0),
      visible(false), reloadAsked(false), targets(NULL), pagedView(false), wheelRest(0) {
    log.fresh();
    logRootId = log.AddToId(0, true, "LOG");
    Start();
    commandQueue = NULL;
}

HRESULT Korvel_Console::Start() {
    viewEnd = 10;
    viewStart = 0;
    keyTimer.Reset();
    logClock.Reset();
    editTimer.Reset();

    commandBase.fresh();
    commandBase.iLoadFromFile(MakeString("GlobalCommandBase.DR"));

    history.fresh();
    history.AddToId(0, true, "_COMMANDS_");
    historyCursor = 0;

    frameColour = 0xFF0A0A0A;
    panelColour = 0xFF222222;
    commandLine = "";

    IDirect3DDevice9* dev = device ? *device : NULL;
    if (!FillBuffer(dev, kPanel, 4, SameColour, panelColour, &panelBuffer)) return E_FAIL;
    if (!FillBuffer(dev, kFrame, 33, FrameColour, frameColour, &frameBuffer)) return E_FAIL;

    D3DXCreateFontA(dev, 16, 0, 400, 0, FALSE, DEFAULT_CHARSET, 0, 0, 0, "Kartika", &messageFont);
    D3DXCreateFontA(dev, 60, 30, 400, 0, FALSE, DEFAULT_CHARSET, 0, 0, 0, "Impact", &titleFont);
    D3DXCreateFontA(dev, 15, 7, 700, 0, FALSE, DEFAULT_CHARSET, 0, 0, 0, "Arial", &lineFont);

    // The field after the year is the weekday.
    SYSTEMTIME now;
    GetSystemTime(&now);
    std::string start = "[Currient date: ";
    start += std::to_string(now.wDay) + "-" + std::to_string(now.wMonth) + "-" +
             std::to_string(now.wYear) + " ";
    start += now.wDayOfWeek < 7 ? kWeekdays[now.wDayOfWeek] : "?";
    start += " , time: " + std::to_string(now.wHour) + "-" + std::to_string(now.wMinute) + "-" +
             std::to_string(now.wSecond) + " (GMT+0)]";
    unsigned line = log.AddToId(logRootId, true, MakeString(start.c_str()));
    log.AddToId(line, false, "_SYSTEM_");
    return S_OK;
}

// ---- the log ----

void Korvel_Console::SyncLines() {
    size_t children = log.iCountKnots(logRootId) + log.iCountParams(logRootId);
    if (lines_.size() == children &&
        (lines_.empty() ? log.TopId(logRootId) == 0
                        : log.TopId(logRootId) == lines_.front() && log.NextId(lines_.back()) == 0))
        return;
    lines_.clear();
    for (unsigned id = log.TopId(logRootId); id != 0; id = log.NextId(id)) lines_.push_back(id);
}

void Korvel_Console::AddLine(const char* line, short kind) {
    SyncLines();
    while (lines_.size() >= kMaxLines) {
        log.DeleteById(lines_.front());
        lines_.pop_front();
    }
    unsigned id = log.AddToId(logRootId, true, MakeString(line));
    if (!id) return;
    lines_.push_back(id);
    if (kind >= KIND_TEXT && kind <= KIND_SYSTEM) log.AddToId(id, false, kTags[kind]);
}

std::string Korvel_Console::Stamp() {
    return ClockText(logClock.Elapsed(), 600);
}

void Korvel_Console::AddStamped(const char* text, short kind) {
    std::string s = Stamp();
    s += text ? text : "";
    const int n = static_cast<int>(s.size());
    if (n < kLineLength) {
        AddLine(s.c_str(), kind);
        return;
    }
    // Lines of 81 characters, then "   " + 80 each; the terminator closes the last one.
    std::string piece;
    int cut = kLineLength;
    for (int i = 0; i <= n; ++i) {
        if (i < n) piece += s[i];
        if (i == cut || i == n) {
            AddLine(piece.c_str(), kind);
            cut += kLineLength;
            piece = "   ";
        }
    }
}

void Korvel_Console::AddMessage(Zarvik_string text, short kind) {
    AddStamped(text.getChars(), kind);
}

void Korvel_Console::AddMessage(const char* text, short kind) {
    AddStamped(text, kind);
}

void Korvel_Console::AddText(const char* text) {
    AddStamped(text, KIND_TEXT);
}

bool Korvel_Console::Save(const char* fileName) {
    return log.iSaveToFile(MakeString(fileName ? fileName : ""));
}

void Korvel_Console::ClearLog() {
    log.DeleteById(logRootId);   // releases the old lines; fresh() alone would only forget them
    lines_.clear();
    log.fresh();
    logRootId = log.AddToId(0, true, "LOG");
}

// ---- the panel ----

void Korvel_Console::DrawMessageLine(Zarvik_string text, int x, int y, D3DCOLOR colour) {
    if (!messageFont) return;
    RECT rect = {x, y, 0, 0};
    messageFont->DrawTextA(NULL, text.getChars(), -1, &rect, DT_NOCLIP, colour);
}

void Korvel_Console::DrawCommandLine(Zarvik_string text, int x, int y, D3DCOLOR colour) {
    if (!lineFont) return;
    const char* chars = text.getChars();
    size_t length = std::strlen(chars);
    if (length > kCommandShown) chars += length - kCommandShown;
    RECT rect = {x, y, 0, 0};
    lineFont->DrawTextA(NULL, chars, -1, &rect, DT_NOCLIP, colour);
}

void Korvel_Console::Draw() {
    if (!visible || !device || !*device) return;
    IDirect3DDevice9* dev = *device;

    // The scene may have been drawn in wireframe while the console is shown.
    dev->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);

    RECT shadow = {380, -5, 0, 0};
    if (titleFont) titleFont->DrawTextA(NULL, "Velmora", -1, &shadow, DT_NOCLIP, 0xFF000000);

    // Panel and frame at depth 0.5 with the device's depth test.
    dev->SetFVF(kPanelFvf);
    if (panelBuffer) {
        dev->SetStreamSource(0, panelBuffer, 0, sizeof(PanelVertex));
        dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    }
    if (frameBuffer) {
        dev->SetStreamSource(0, frameBuffer, 0, sizeof(PanelVertex));
        dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 11);
    }

    RECT title = {382, -7, 0, 0};
    if (titleFont) titleFont->DrawTextA(NULL, "Velmora", -1, &title, DT_NOCLIP, 0xFF969696);

    // Message window: lines count - viewEnd .. count - viewStart, oldest at the top. Only
    // the lines in the window are visited, however long the log.
    SyncLines();
    const int count = static_cast<int>(log.iCountKnots(logRootId));
    const int lowest = count - viewEnd;
    const int highest = count - viewStart;
    const int children = static_cast<int>(lines_.size());
    for (int i = lowest < 1 ? 1 : lowest; i <= highest && i <= children; ++i) {
        const unsigned line = lines_[i - 1];
        Zarvik_string tag = log.iLookName(log.TopId(line));
        for (int kind = KIND_TEXT; kind <= KIND_SYSTEM; ++kind) {
            if (tag == kTags[kind]) {
                DrawMessageLine(log.iLookName(line), 12, 12 + 10 * (i - lowest),
                                kKindColours[kind]);
                break;
            }
        }
    }

    Zarvik_string typed = commandLine;
    typed += "_";
    DrawCommandLine(typed, 12, 125, 0xFFFFFFFF);

    DrawMessageLine(MakeString(ClockText(logClock.Elapsed(), 1000).c_str()), 560, 62, 0xFFFAFAFA);

    // Paged away from the newest lines: how many newer ones lie below, right of the line.
    if (pagedView && viewStart > 0) {
        std::string marker = "^ ^ ^ +" + std::to_string(viewStart);
        DrawMessageLine(MakeString(marker.c_str()), 300, 125, 0xFFFAFAFA);
    }
}

void Korvel_Console::ShiftView(bool back) {
    keyTimer.Reset();
    ScrollView(back, 1);
}

void Korvel_Console::ScrollView(bool back, int lines) {
    const int count = static_cast<int>(log.iCountKnots(logRootId));
    for (int i = 0; i < lines; ++i) {
        if (back && viewEnd <= count) {
            ++viewStart;
            ++viewEnd;
        } else if (!back && viewStart >= 0) {
            --viewStart;
            --viewEnd;
        } else {
            break;
        }
    }
    if (viewStart <= 0) pagedView = false;
}

void Korvel_Console::Wheel(int delta) {
    if (!visible) return;
    wheelRest += delta;
    const int notches = wheelRest / WHEEL_DELTA;   // toward zero: the rest waits for more
    wheelRest -= notches * WHEEL_DELTA;
    if (notches == 0) return;
    pagedView = true;
    ScrollView(notches > 0, 3 * (notches > 0 ? notches : -notches));
}
