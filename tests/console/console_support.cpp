#include "tests/console/console_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "tests/support/level_run.h"

namespace fs = std::filesystem;

namespace {

Korvel_Console* g_console = nullptr;

LRESULT CALLBACK ConsoleWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && g_console) g_console->ExpireInputTimers();
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Line& line) {
    return out << '"' << line.text << "\" " << line.tag;
}

std::vector<Line> LinesOf(DynamicRow& tree) {
    std::vector<Line> lines;
    unsigned root = tree.iLookId("LOG");
    for (unsigned id = tree.TopId(root); id; id = tree.NextId(id)) {
        unsigned tag = tree.TopId(id);
        lines.push_back({tree.iLookName(id).getChars(), tag ? tree.iLookName(tag).getChars() : ""});
    }
    return lines;
}

std::string Unstamped(const std::string& text) {
    size_t end = text.find("] ");
    return text[0] == '[' && end != std::string::npos ? text.substr(end + 2) : text;
}

void ConsoleTest::SetUp() {
    headless::Reset();
    SYSTEMTIME st{};
    st.wYear = 2008; st.wMonth = 6; st.wDay = 1; st.wDayOfWeek = 0;
    st.wHour = 8; st.wMinute = 52; st.wSecond = 3;
    headless::SetSystemTime(st);

    home_ = fs::current_path().string();
    folder = testsupport::FreshFolder("console_test");
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(chdir(folder.c_str()), 0);

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ConsoleWindowProc;
    wc.lpszClassName = "console_test";
    RegisterClassExA(&wc);
    window = CreateWindowExA(0, "console_test", "console", 0, 0, 0, 640, 480, nullptr, nullptr,
                             nullptr, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    ASSERT_GE(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device), 0);
    console = new Korvel_Console(&device);
    g_console = console;
}

void ConsoleTest::TearDown() {
    g_console = nullptr;
    if (!home_.empty()) {
        EXPECT_EQ(chdir(home_.c_str()), 0);
    }
    std::error_code ec;
    if (!folder.empty()) fs::remove_all(folder, ec);
}

void ConsoleTest::Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void ConsoleTest::Down(BYTE vk) { headless::KeyDown(vk); Pump(); }
void ConsoleTest::Up(BYTE vk) { headless::KeyUp(vk); Pump(); }

void ConsoleTest::Press(BYTE vk) {
    Down(vk);
    console->HandleKeys();
    Up(vk);
}

void ConsoleTest::Enter(const char* line) {
    console->commandLine = line;
    Press(VK_RETURN);
}

std::vector<std::string> ConsoleTest::Texts() {
    std::vector<std::string> texts;
    std::vector<Line> lines = Lines();
    for (size_t i = 1; i < lines.size(); ++i) texts.push_back(Unstamped(lines[i].text));
    return texts;
}
