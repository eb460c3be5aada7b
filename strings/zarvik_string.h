// Zarvik_string: the fixed-capacity text type of the whole system.
// One 1024-byte array holding a zero-terminated text of at most 1023 characters; copied by value,
// never allocates, keeps no pointer it is given. Results that would not fit are cut at 1023
// characters. Bytes carry no encoding; comparisons are byte by byte and case-sensitive.
#pragma once

#if defined(_WIN32)
#if defined(ZARVIK_STRINGS_BUILDING)
#define ZARVIK_STRINGS_API __declspec(dllexport)
#else
#define ZARVIK_STRINGS_API __declspec(dllimport)
#endif
#else
#define ZARVIK_STRINGS_API __attribute__((visibility("default")))
#endif

class ZARVIK_STRINGS_API Zarvik_string {
public:
    enum { CAPACITY = 1024 };  // array size; the text holds at most CAPACITY - 1 characters

    Zarvik_string();
    Zarvik_string(const Zarvik_string &other);
    ~Zarvik_string();

    // Assignment. Each `char *` / `Zarvik_string &` form has a const twin so that literals and
    // temporaries (such as a tree name returned by value) can be assigned from C++17 code.
    void operator=(Zarvik_string &other);
    void operator=(const Zarvik_string &other);
    void operator=(char *text);
    void operator=(const char *text);
    void operator=(int value);    // "%d"
    void operator=(float value);  // "%f"

    // Appending; `s += s` doubles the text.
    void operator+=(Zarvik_string &other);
    void operator+=(const Zarvik_string &other);
    void operator+=(char *text);
    void operator+=(const char *text);
    void operator+=(int value);
    void operator+=(float value);

    // A new string: this text followed by the operand; this object is unchanged.
    Zarvik_string operator+(Zarvik_string &other) const;
    Zarvik_string operator+(const Zarvik_string &other) const;
    Zarvik_string operator+(char *text) const;
    Zarvik_string operator+(const char *text) const;

    // Exact equality of the two texts.
    bool operator==(Zarvik_string &other) const;
    bool operator==(const Zarvik_string &other) const;
    bool operator==(char *text) const;
    bool operator==(const char *text) const;

    // Prefix-difference test, not the negation of ==: false for an empty own text; otherwise
    // true when any of the first length() bytes differs from the other text at the same
    // position (its terminator counts). So "ab" != "abc" is false and "abc" != "ab" is true.
    bool operator!=(Zarvik_string &other) const;
    bool operator!=(const Zarvik_string &other) const;
    bool operator!=(char *text) const;
    bool operator!=(const char *text) const;

    // set / add / insert always return true.
    bool set(char *text);
    bool set(const char *text);
    bool set(Zarvik_string other);
    bool set(int value);
    bool set(float value);
    bool add(char *text);
    bool add(const char *text);
    bool add(Zarvik_string other);
    bool add(int value);
    bool add(float value);
    // Puts `text` before position `pos`; a position at or past the end appends.
    bool insert(char *text, unsigned int pos);
    bool insert(const char *text, unsigned int pos);
    bool insert(Zarvik_string other, unsigned int pos);

    // Leading number after white space ("%d" / "%f" reading); 0 when the text starts with none.
    // toInt clamps values outside the int range.
    int toInt() const;
    float toFloat() const;

    // True when `text` is a prefix of this text (an empty `text` always is).
    bool CompareStrings(char *text) const;
    bool CompareStrings(const char *text) const;
    bool CompareStrings(Zarvik_string other) const;

    // Removes every space, tab and backspace.
    void HideHoles();
    // Collapses runs of spaces to one and removes backspaces except one at position 0.
    // Tabs are left alone.
    void NoTabs();
    // Splits "[name]?rest" after HideHoles (the object keeps the blank-free text). False, with
    // the outputs untouched, when there is no leading '[', no ']', or name or rest is empty.
    // Name and rest are each cut at 255 characters.
    bool getCommandBlock(Zarvik_string *name, Zarvik_string *rest);
    // Splits at the first space: the text before it, and the text after it (the whole text when
    // there is no space or nothing follows it). False, outputs untouched, for an empty text.
    bool DivideTwoParameters(Zarvik_string *first, Zarvik_string *second) const;

    void clear();
    // The text; valid and writable while the object lives (keep it zero-terminated within
    // CAPACITY bytes).
    char *getChars();
    const char *getChars() const;

private:
    void assignText(const char *text);
    void appendText(const char *text);
    void insertText(const char *text, unsigned int pos);

    char text_[CAPACITY];
};
