// The nick lists' text buffer against std::string: appends of every size across its growth,
// pieces of its own text appended to it, reserving, clearing and swapping.
#include "windows/TextBuffer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

namespace tellix {
namespace {

TEST(TextBuffer, HoldsWhatAStringWouldThroughGrowthAndSelfAppends)
{
    std::mt19937 random(5);
    TextBuffer buffer;
    std::string plain;
    for (int step = 0; step < 5000; ++step) {
        const std::size_t size = plain.size();
        switch (random() % 5) {
        case 0:
            if (size > 0) {
                // A piece of its own text, as a list copies an entry it holds; often at a growth.
                const std::size_t from = random() % size;
                const std::size_t length = std::min<std::size_t>(random() % 40, size - from);
                buffer.append(std::string_view(buffer).substr(from, length));
                plain.append(plain.substr(from, length));
            }
            break;
        case 1:
            buffer.append("");
            break;
        default: {
            const std::string text(random() % 30, static_cast<char>('a' + step % 26));
            buffer.append(text);
            plain.append(text);
            break;
        }
        }
        ASSERT_EQ(buffer.size(), plain.size());
        if (step % 250 == 0) {
            ASSERT_EQ(std::string_view(buffer), plain) << "step " << step;
        }
    }
    EXPECT_EQ(std::string_view(buffer), plain);

    buffer.reserve(plain.size() * 3);
    EXPECT_EQ(std::string_view(buffer), plain);
    TextBuffer other;
    other.append("bob");
    buffer.swap(other);
    EXPECT_EQ(std::string_view(buffer), "bob");
    EXPECT_EQ(std::string_view(other), plain);
    other.clear();
    EXPECT_EQ(other.size(), 0U);
    other.append("anna");
    EXPECT_EQ(std::string_view(other), "anna");
}

} // namespace
} // namespace tellix
