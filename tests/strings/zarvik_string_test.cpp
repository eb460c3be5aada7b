// Behaviour of the text type that a reader could get wrong.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "strings/zarvik_string.h"

namespace {

Zarvik_string Z(const char *text) {
    Zarvik_string s;
    s = text;
    return s;
}

std::string Str(const Zarvik_string &s) { return s.getChars(); }

TEST(ZarvikStringBasics, NewStringIsEmptyAndEqualsEmptyLiteral) {
    Zarvik_string s;
    EXPECT_TRUE(s == "");
    EXPECT_STREQ(s.getChars(), "");
}

TEST(ZarvikStringBasics, NumbersAreFormattedLikePrintf) {
    Zarvik_string s;
    s = 2.5f;
    EXPECT_EQ(Str(s), "2.500000");
    s = -0.25f;
    EXPECT_EQ(Str(s), "-0.250000");
    s = -42;
    EXPECT_EQ(Str(s), "-42");
    s = "x";
    s.add(-3);
    EXPECT_EQ(Str(s), "x-3");
    s += 1.5f;
    EXPECT_EQ(Str(s), "x-31.500000");
}

TEST(ZarvikStringBasics, SelfAppendDoublesTheText) {
    Zarvik_string s = Z("ab");
    s += s;
    EXPECT_EQ(Str(s), "abab");
    s.add(s.getChars());  // a text inside the object itself
    EXPECT_EQ(Str(s), "abababab");
    Zarvik_string &same = s;
    s = same;
    s.set(s.getChars());
    EXPECT_EQ(Str(s), "abababab");
    s.insert(s.getChars() + 2, 1);
    EXPECT_EQ(Str(s), "a" "ababab" "bababab");
}

TEST(ZarvikStringBasics, PlusLeavesTheObjectUnchanged) {
    Zarvik_string a = Z("ab");
    Zarvik_string b = a + "cd";
    Zarvik_string c = a + b;
    EXPECT_EQ(Str(a), "ab");
    EXPECT_EQ(Str(b), "abcd");
    EXPECT_EQ(Str(c), "ababcd");
}

TEST(ZarvikStringBasics, InsertAtPositions) {
    Zarvik_string s = Z("abcdef");
    s.insert("XY", 2);
    EXPECT_EQ(Str(s), "abXYcdef");
    s = "abcdef";
    s.insert("XY", 0);
    EXPECT_EQ(Str(s), "XYabcdef");
    s = "abc";
    s.insert(Z("Z"), 99);
    EXPECT_EQ(Str(s), "abcZ");
}

TEST(ZarvikStringBasics, CopyTakesTheWholeArray) {
    Zarvik_string a = Z("abc");
    a.getChars()[10] = 'q';  // behind the terminator
    Zarvik_string b(a);
    EXPECT_EQ(b.getChars()[10], 'q');
}

TEST(ZarvikStringCompare, NotEqualIsAPrefixDifferenceTest) {
    EXPECT_FALSE(Z("ab") != "abc");
    EXPECT_TRUE(Z("abc") != "ab");
    EXPECT_TRUE(Z("ab") != "ax");
    EXPECT_FALSE(Z("") != "");
    EXPECT_FALSE(Z("") != "x");
    EXPECT_TRUE(Z("x") != "");
    // Against the missing-node name: false for the name itself and for its prefixes.
    EXPECT_FALSE(Z("none") != "none");
    EXPECT_FALSE(Z("no") != "none");
    EXPECT_TRUE(Z("nonex") != "none");
    EXPECT_TRUE(Z("camera") != "none");
    Zarvik_string other = Z("abc");
    EXPECT_FALSE(Z("ab") != other);
    EXPECT_TRUE(Z("abd") != other);
}

TEST(ZarvikStringCompare, EqualityNeedsSameLengthAndBytes) {
    EXPECT_TRUE(Z("abc") == "abc");
    EXPECT_FALSE(Z("abc") == "ab");
    EXPECT_FALSE(Z("ab") == "abc");
    EXPECT_FALSE(Z("abc") == "ABC");
    Zarvik_string a = Z("q"), b = Z("q");
    EXPECT_TRUE(a == b);
}

TEST(ZarvikStringCompare, CompareStringsTestsForAPrefix) {
    EXPECT_TRUE(Z("abc").CompareStrings(""));
    EXPECT_TRUE(Z("").CompareStrings(""));
    EXPECT_TRUE(Z("abc").CompareStrings("ab"));
    EXPECT_FALSE(Z("ab").CompareStrings("abc"));
    EXPECT_FALSE(Z("abc").CompareStrings(Z("ac")));
}

TEST(ZarvikStringNumbers, LeadingNumbersAreRead) {
    EXPECT_EQ(Z("800,600").toInt(), 800);
    EXPECT_EQ(Z(" -12x").toInt(), -12);
    EXPECT_FLOAT_EQ(Z("2.5").toFloat(), 2.5f);
    EXPECT_FLOAT_EQ(Z("7").toFloat(), 7.0f);
    EXPECT_FLOAT_EQ(Z("1e3").toFloat(), 1000.0f);
}

TEST(ZarvikStringNumbers, TextWithoutANumberGivesZero) {
    EXPECT_EQ(Z("abc").toInt(), 0);
    EXPECT_EQ(Z("").toInt(), 0);
    EXPECT_EQ(Z("-").toInt(), 0);
    EXPECT_EQ(Z("x1.5").toFloat(), 0.0f);
    EXPECT_EQ(Z("99999999999999999999").toInt(), 2147483647);
    EXPECT_EQ(Z("-99999999999999999999").toInt(), -2147483647 - 1);
}

TEST(ZarvikStringBlanks, HideHolesRemovesSpacesTabsAndBackspaces) {
    Zarvik_string s = Z("a b c ");
    s.HideHoles();
    EXPECT_EQ(Str(s), "abc");
    s = "a\tb\tc\t";
    s.HideHoles();
    EXPECT_EQ(Str(s), "abc");
    s = " a\b ";
    s.HideHoles();
    EXPECT_EQ(Str(s), "a");
    s = " ";
    s.HideHoles();
    EXPECT_EQ(Str(s), "");
}

TEST(ZarvikStringBlanks, NoTabsCollapsesSpacesAndDropsBackspaces) {
    Zarvik_string s = Z("a  b   c");
    s.NoTabs();
    EXPECT_EQ(Str(s), "a b c");
    s = "a\bb";
    s.NoTabs();
    EXPECT_EQ(Str(s), "ab");
    s = "\bab";
    s.NoTabs();
    EXPECT_EQ(Str(s), "\bab");
    s = "ab  ";
    s.NoTabs();
    EXPECT_EQ(Str(s), "ab ");
    s = "a\t\tb";
    s.NoTabs();
    EXPECT_EQ(Str(s), "a\t\tb");
    s = "a \b b";  // removing the backspace joins the two spaces
    s.NoTabs();
    EXPECT_EQ(Str(s), "a b");
    s = "\b\b  x";
    s.NoTabs();
    EXPECT_EQ(Str(s), "\b x");
    s = " ";
    s.NoTabs();
    EXPECT_EQ(Str(s), " ");
}

TEST(ZarvikStringSplit, CommandBlockSplitsBracketedName) {
    Zarvik_string line = Z("[SCREEN] = 800, 600"), name, rest;
    ASSERT_TRUE(line.getCommandBlock(&name, &rest));
    EXPECT_EQ(Str(name), "SCREEN");
    EXPECT_EQ(Str(rest), "800,600");
    EXPECT_EQ(Str(line), "[SCREEN]=800,600");

    line = "[SCREEN]800,600";
    ASSERT_TRUE(line.getCommandBlock(&name, &rest));
    EXPECT_EQ(Str(rest), "00,600");  // one character after ']' is always dropped

    line = "[A]:b";
    ASSERT_TRUE(line.getCommandBlock(&name, &rest));
    EXPECT_EQ(Str(name), "A");
    EXPECT_EQ(Str(rest), "b");
}

TEST(ZarvikStringSplit, CommandBlockFailuresLeaveOutputs) {
    Zarvik_string name = Z("n0"), rest = Z("r0");
    Zarvik_string line = Z("x[A] b");
    EXPECT_FALSE(line.getCommandBlock(&name, &rest));
    EXPECT_EQ(Str(line), "x[A]b");
    for (const char *bad : {"[A]", "[A]x", "[]xx", "[abc", ""}) {
        line = bad;
        EXPECT_FALSE(line.getCommandBlock(&name, &rest)) << bad;
    }
    EXPECT_EQ(Str(name), "n0");
    EXPECT_EQ(Str(rest), "r0");
}

TEST(ZarvikStringSplit, CommandBlockPartsAreCutAt255) {
    std::string longName(300, 'n'), longRest(400, 'r');
    Zarvik_string line = Z(("[" + longName + "]=" + longRest).c_str()), name, rest;
    ASSERT_TRUE(line.getCommandBlock(&name, &rest));
    EXPECT_EQ(Str(name), std::string(255, 'n'));
    EXPECT_EQ(Str(rest), std::string(255, 'r'));
}

TEST(ZarvikStringSplit, DivideTwoParametersAtFirstSpace) {
    struct Case { const char *text, *first, *second; };
    const Case cases[] = {
        {"camera.set 2", "camera.set", "2"},
        {"a b c", "a", "b c"},
        {"show.list", "show.list", "show.list"},
        {"abc ", "abc", "abc "},
        {" x", "", "x"},
    };
    for (const Case &c : cases) {
        Zarvik_string s = Z(c.text), a, b;
        ASSERT_TRUE(s.DivideTwoParameters(&a, &b)) << c.text;
        EXPECT_EQ(Str(a), c.first) << c.text;
        EXPECT_EQ(Str(b), c.second) << c.text;
        EXPECT_EQ(Str(s), c.text);
    }
    Zarvik_string empty, a = Z("keep1"), b = Z("keep2");
    EXPECT_FALSE(empty.DivideTwoParameters(&a, &b));
    EXPECT_EQ(Str(a), "keep1");
    EXPECT_EQ(Str(b), "keep2");
}

TEST(ZarvikStringCapacity, ResultsAreCutAt1023Characters) {
    std::string big(2000, 'a');
    Zarvik_string s;
    s = big.c_str();
    EXPECT_EQ(std::strlen(s.getChars()), 1023u);
    s += "more";
    EXPECT_EQ(std::strlen(s.getChars()), 1023u);
    s += s;
    EXPECT_EQ(std::strlen(s.getChars()), 1023u);
    s.add(12345);
    s.add(1.0f);
    EXPECT_EQ(std::strlen(s.getChars()), 1023u);

    Zarvik_string t = Z(std::string(1020, 'b').c_str());
    t.insert("XYZW", 1);  // the tail is cut, not the inserted text
    EXPECT_EQ(std::strlen(t.getChars()), 1023u);
    EXPECT_EQ(std::string(t.getChars(), 6), "bXYZWb");
    Zarvik_string u = t + t;
    EXPECT_EQ(std::strlen(u.getChars()), 1023u);
    t = 3.0e38f;  // the widest "%f" float still fits
    EXPECT_EQ(std::string(t.getChars()).substr(0, 3), "300");
}

}  // namespace
