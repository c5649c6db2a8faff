// The input limit of the sorbel tool, with a small limit in place of the
// 2 GiB one: a regular file is refused by its size before it is read, a
// device or stream once it runs one byte past the limit.
#include "files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace sorbel::tool {
namespace {

std::string Refusal(const std::function<void()>& read) {
    try {
        read();
    } catch (const ToolError& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(InputLimit, RegularFileIsMeasuredAndStreamIsCut) {
    const auto path = std::filesystem::temp_directory_path() / ("sorbel-files-test-" + std::to_string(::getpid()));
    std::ofstream(path, std::ios::binary) << std::string(1001, 'x');
    {
        Input exact(path.string(), false);
        ASSERT_TRUE(exact.KnownSize());
        EXPECT_EQ(*exact.KnownSize(), 1001u);
        EXPECT_EQ(exact.ReadAll(1001).size(), 1001u);
        Input over(path.string(), false);
        EXPECT_NE(Refusal([&] { over.ReadAll(1000); }).find("larger than 1000 bytes"), std::string::npos);
        Input parsed(path.string(), false);
        EXPECT_NE(Refusal([&] { InputBuffer buffer(parsed, 1000); }).find("larger than 1000 bytes"),
                  std::string::npos);
        Input whole(path.string(), false);
        InputBuffer buffer(whole, 1001);
        const std::string text{std::istreambuf_iterator<char>(&buffer), std::istreambuf_iterator<char>()};
        EXPECT_EQ(text, std::string(1001, 'x'));
    }
    std::filesystem::remove(path);

    Input zeros("/dev/zero", false);
    EXPECT_FALSE(zeros.KnownSize());
    EXPECT_NE(Refusal([&] { zeros.ReadAll(1000); }).find("/dev/zero: larger than 1000 bytes"), std::string::npos);
    // A parser reading through the buffer is stopped within the limit.
    Input endless("/dev/zero", false);
    InputBuffer buffer(endless, 100000);
    std::size_t consumed = 0;
    const std::string why = Refusal([&] {
        while (buffer.sbumpc() != std::char_traits<char>::eof()) ++consumed;
    });
    EXPECT_NE(why.find("/dev/zero: larger than 100000 bytes"), std::string::npos) << why;
    EXPECT_LE(consumed, 100000u);
}

}  // namespace
}  // namespace sorbel::tool
