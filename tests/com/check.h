// A small test harness for the Wine-run COM tests, with GoogleTest's macro
// names (TEST, TEST_F, EXPECT_*, ASSERT_*, SCOPED_TRACE) so the tests read
// the usual way. GoogleTest itself needs std::mutex, which mingw-w64's
// win32 thread model does not provide.
//
// EXPECT_* records a failure and goes on; ASSERT_* records it and ends the
// test (it throws, so it also ends the test from inside a helper). Both take
// a streamed message: EXPECT_EQ(a, b) << "context". Values are printed on
// failure. RunAll(argc, argv) runs the registered tests, optionally only
// the suites named by --suites=A,B or all but --skip-suites=A,B, and
// returns 0 when every test passed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace check {

class Message {
public:
    template <class T>
    Message& operator<<(const T& value) {
        stream_ << Printable(value);
        return *this;
    }
    std::string Text() const { return stream_.str(); }

    static std::string Narrow(const std::wstring& text) {
        std::string out;
        for (wchar_t c : text) {
            if (c >= 32 && c < 127) {
                out += static_cast<char>(c);
            } else {
                char escaped[12];
                std::snprintf(escaped, sizeof escaped, "\\x%04X", static_cast<unsigned>(c));
                out += escaped;
            }
        }
        return out;
    }
    template <class T>
    static std::string Printable(const T& value) {
        std::ostringstream out;
        if constexpr (std::is_same_v<T, std::wstring>) {
            out << '"' << Narrow(value) << '"';
        } else if constexpr (std::is_convertible_v<T, const wchar_t*>) {
            const wchar_t* text = value;
            out << '"' << Narrow(text ? std::wstring(text) : std::wstring(L"(null)")) << '"';
        } else if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>) {
            out << '{';
            for (size_t i = 0; i < value.size(); ++i) out << (i ? ", " : "") << static_cast<unsigned>(value[i]);
            out << '}';
        } else if constexpr (std::is_same_v<T, long> || std::is_same_v<T, unsigned long>) {
            // HRESULTs and other Windows LONG values read best in hex too.
            out << value << " (0x" << std::hex << static_cast<unsigned long>(value) << ')';
        } else if constexpr (std::is_enum_v<T>) {
            out << static_cast<long long>(value);
        } else if constexpr (std::is_same_v<T, unsigned char> || std::is_same_v<T, signed char>) {
            out << static_cast<int>(value);
        } else {
            out << value;
        }
        return out.str();
    }

private:
    std::ostringstream stream_;
};

struct Fatal {};  // thrown by a failed ASSERT_*

struct Outcome {
    bool ok;
    std::string text;
    explicit operator bool() const { return ok; }
};

template <class A, class B, class Op>
Outcome Compare(const A& a, const B& b, Op op, const char* expression) {
    bool ok;
    if constexpr (std::is_integral_v<A> && std::is_integral_v<B>) {
        // Compares the values, not the types (a WORD count against a size_t).
        ok = op(static_cast<long long>(a), static_cast<long long>(b));
    } else {
        ok = op(a, b);
    }
    if (ok) return {true, {}};
    return {false, std::string(expression) + "\n    left:  " + Message::Printable(a) +
                       "\n    right: " + Message::Printable(b)};
}

std::vector<std::string>& Traces();
void RecordFailure(const char* file, int line, const std::string& text);

class Report {
public:
    Report(const char* file, int line, std::string text, bool fatal)
        : file_(file), line_(line), text_(std::move(text)), fatal_(fatal) {}
    void operator+=(const Message& message) {
        const std::string extra = message.Text();
        RecordFailure(file_, line_, extra.empty() ? text_ : text_ + "\n    " + extra);
        if (fatal_) throw Fatal{};
    }

private:
    const char* file_;
    int line_;
    std::string text_;
    bool fatal_;
};

class ScopedTrace {
public:
    explicit ScopedTrace(const Message& message) { Traces().push_back(message.Text()); }
    explicit ScopedTrace(const std::string& text) { Traces().push_back(text); }
    ~ScopedTrace() { Traces().pop_back(); }
    ScopedTrace(const ScopedTrace&) = delete;
    ScopedTrace& operator=(const ScopedTrace&) = delete;
};

class Test {
public:
    virtual ~Test() = default;
    virtual void SetUp() {}
    virtual void TearDown() {}
    virtual void Body() = 0;
};

struct Registration {
    Registration(const char* suite, const char* name, Test* (*make)());
};

int RunAll(int argc, char** argv);

}  // namespace check

#define CHECK_CONCAT_(a, b) a##b
#define CHECK_CLASS_(suite, name) suite##_##name##_Test
#define CHECK_REGISTRATION_(suite, name) check_registration_##suite##_##name

#define TEST_F(fixture, name)                                                                          \
    class CHECK_CLASS_(fixture, name) : public fixture {                                               \
    public:                                                                                            \
        void Body() override;                                                                          \
    };                                                                                                 \
    static ::check::Registration CHECK_REGISTRATION_(fixture, name)(                                   \
        #fixture, #name, []() -> ::check::Test* { return new CHECK_CLASS_(fixture, name)(); });       \
    void CHECK_CLASS_(fixture, name)::Body()

#define TEST(suite, name)                                                                              \
    class CHECK_CLASS_(suite, name) : public ::check::Test {                                           \
    public:                                                                                            \
        void Body() override;                                                                          \
    };                                                                                                 \
    static ::check::Registration CHECK_REGISTRATION_(suite, name)(                                     \
        #suite, #name, []() -> ::check::Test* { return new CHECK_CLASS_(suite, name)(); });           \
    void CHECK_CLASS_(suite, name)::Body()

#define CHECK_CMP_(a, b, op, fatal)                                                                     \
    if (::check::Outcome check_outcome_ =                                                               \
            ::check::Compare((a), (b), [](const auto& x, const auto& y) { return x op y; }, #a " " #op " " #b)) \
        ;                                                                                               \
    else                                                                                                \
        ::check::Report(__FILE__, __LINE__, check_outcome_.text, fatal) += ::check::Message()

#define CHECK_BOOL_(condition, expected, fatal)                                                         \
    if (static_cast<bool>(condition) == (expected))                                                     \
        ;                                                                                               \
    else                                                                                                \
        ::check::Report(__FILE__, __LINE__, std::string(#condition " is not ") + #expected, fatal) +=    \
            ::check::Message()

#define EXPECT_EQ(a, b) CHECK_CMP_(a, b, ==, false)
#define EXPECT_NE(a, b) CHECK_CMP_(a, b, !=, false)
#define EXPECT_GE(a, b) CHECK_CMP_(a, b, >=, false)
#define EXPECT_GT(a, b) CHECK_CMP_(a, b, >, false)
#define ASSERT_EQ(a, b) CHECK_CMP_(a, b, ==, true)
#define ASSERT_NE(a, b) CHECK_CMP_(a, b, !=, true)
#define ASSERT_GE(a, b) CHECK_CMP_(a, b, >=, true)
#define ASSERT_GT(a, b) CHECK_CMP_(a, b, >, true)
#define EXPECT_TRUE(c) CHECK_BOOL_(c, true, false)
#define EXPECT_FALSE(c) CHECK_BOOL_(c, false, false)
#define ASSERT_TRUE(c) CHECK_BOOL_(c, true, true)
#define ASSERT_FALSE(c) CHECK_BOOL_(c, false, true)
#define SCOPED_TRACE(message) ::check::ScopedTrace CHECK_CONCAT_(check_trace_, __LINE__)(message)
