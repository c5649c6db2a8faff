// The test runner of check.h: registered tests, failure reports, filters.
#include "check.h"

#include <exception>
#include <memory>

namespace check {
namespace {

struct Entry {
    std::string suite;
    std::string name;
    Test* (*make)();
};

std::vector<Entry>& Registry() {
    static std::vector<Entry> entries;
    return entries;
}

int g_failures = 0;

std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        const size_t end = comma == std::string::npos ? list.size() : comma;
        if (end > start) items.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

bool Contains(const std::vector<std::string>& items, const std::string& item) {
    for (const auto& i : items) {
        if (i == item) return true;
    }
    return false;
}

}  // namespace

std::vector<std::string>& Traces() {
    static std::vector<std::string> traces;
    return traces;
}

void RecordFailure(const char* file, int line, const std::string& text) {
    ++g_failures;
    std::printf("%s:%d: Failure\n    %s\n", file, line, text.c_str());
    for (auto trace = Traces().rbegin(); trace != Traces().rend(); ++trace) {
        std::printf("    (in %s)\n", trace->c_str());
    }
    std::fflush(stdout);
}

Registration::Registration(const char* suite, const char* name, Test* (*make)()) {
    Registry().push_back({suite, name, make});
}

int RunAll(int argc, char** argv) {
    std::vector<std::string> only, skip;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--suites=", 0) == 0) only = SplitList(arg.substr(9));
        if (arg.rfind("--skip-suites=", 0) == 0) skip = SplitList(arg.substr(14));
    }
    int run = 0, failedTests = 0;
    for (const Entry& entry : Registry()) {
        if ((!only.empty() && !Contains(only, entry.suite)) || Contains(skip, entry.suite)) continue;
        ++run;
        const std::string full = entry.suite + "." + entry.name;
        std::printf("[ RUN      ] %s\n", full.c_str());
        std::fflush(stdout);
        const int before = g_failures;
        try {
            std::unique_ptr<Test> test(entry.make());
            try {
                test->SetUp();
                test->Body();
            } catch (const Fatal&) {
            }
            test->TearDown();
        } catch (const Fatal&) {
        } catch (const std::exception& e) {
            RecordFailure(__FILE__, __LINE__, std::string("uncaught exception: ") + e.what());
        }
        const bool passed = g_failures == before;
        if (!passed) ++failedTests;
        std::printf("[ %s ] %s\n", passed ? "     OK" : " FAILED", full.c_str());
        std::fflush(stdout);
    }
    std::printf("%d tests run, %d passed, %d failed\n", run, run - failedTests, failedTests);
    return run > 0 && failedTests == 0 ? 0 : 1;
}

}  // namespace check
