// Shared set-up of the console tests: a fresh working folder, the headless backend with its
// clock held still, a window whose procedure expires the console's input timers on key-down
// (as the program's does), a device and a console. Helpers press keys through the message
// queue, so the keyboard state changes as the program would see it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console.h"
#include "platform/headless/headless.h"

struct Line {
    std::string text;
    std::string tag;
    bool operator==(const Line& o) const { return text == o.text && tag == o.tag; }
};
std::ostream& operator<<(std::ostream& out, const Line& line);

// The lines below the "LOG" knot of `tree`.
std::vector<Line> LinesOf(DynamicRow& tree);
// "[q:r] text" -> "text".
std::string Unstamped(const std::string& text);

class ConsoleTest : public ::testing::Test {
protected:
    static const DWORD kOpened = headless::kStartTime;  // the console's clocks start here

    void SetUp() override;
    void TearDown() override;

    void Pump();                  // takes and dispatches every queued message
    void Down(BYTE vk);           // key-down message, taken
    void Up(BYTE vk);             // key-up message, taken
    void Press(BYTE vk);          // down, one HandleKeys, up
    void Enter(const char* line); // types nothing: sets the line and presses Enter
    std::string Typed() const { return console->commandLine.getChars(); }

    std::vector<Line> Lines() { return LinesOf(console->log); }
    std::vector<std::string> Texts();  // unstamped, start line excluded

    IDirect3DDevice9* device = nullptr;
    Korvel_Console* console = nullptr;
    HWND window = nullptr;
    std::string folder;

private:
    std::string home_;
};
