// The base of the model's collections, against the plain scan it stands in for.
#include "util/Collection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

using tellix::AsciiCaseText;
using tellix::Collection;
using tellix::CoreError;
using tellix::ExactText;

namespace {

struct Item {
    std::string name;
};

template <class Text> struct ItemNaming : Text {
    static std::string_view Name(const Item& item) { return item.name; }
};

// Opens the members the model's collections use inside.
template <class Text> struct Items : Collection<Item, ItemNaming<Text>> {
    using Base = Collection<Item, ItemNaming<Text>>;
    using Base::Append;
    using Base::ClearLastFirst;
    using Base::Erase;
    using Base::FindFirst;
    std::shared_ptr<Item> Add(const std::string& name)
    {
        auto item = std::make_shared<Item>(Item{name});
        Append(item);
        return item;
    }
    void Rename(Item& item, const std::string& name)
    {
        const std::string previous = std::exchange(item.name, name);
        this->Renamed(item, previous);
    }
};

template <class Text> std::vector<std::string> Names(const Items<Text>& items)
{
    std::vector<std::string> names;
    for (const auto& item : items) {
        names.push_back(item->name);
    }
    return names;
}

} // namespace

TEST(Collection, BadPositionsFailAndChangeNothing)
{
    Items<ExactText> items;
    items.Add("a");
    for (const std::int32_t position : {0, -1, 2}) {
        EXPECT_THROW(items.Item(position), CoreError) << position;
        EXPECT_THROW(items.RemoveAt(position), CoreError) << position;
    }
    EXPECT_EQ(Names(items), std::vector<std::string>{"a"});
    const Item stranger{"a"};
    EXPECT_EQ(items.PositionOf(stranger), 0) << "found by name, but not the same object";
    EXPECT_FALSE(items.Erase(stranger));
}

TEST(Collection, CaseInsensitiveNamesShareOneEntryAndTheLowestPositionWins)
{
    Items<AsciiCaseText> items;
    auto first = items.Add("#Room");
    auto other = items.Add("#other");
    auto second = items.Add("#ROOM");
    EXPECT_EQ(items.FindFirst("#room"), first.get());
    EXPECT_EQ(items.FindFirst("#room "), nullptr);
    EXPECT_EQ(items.FindFirst("#\xc3\x96"), nullptr);
    items.RemoveAt(1);
    EXPECT_EQ(items.FindFirst("#rOOm"), second.get());
    EXPECT_EQ(items.PositionOf(*second), 2);
    EXPECT_EQ(items.PositionOf(*first), 0);
}

TEST(Collection, ClearLastFirstSurvivesARemoverThatTakesOthersToo)
{
    Items<ExactText> items;
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        items.Add(name);
    }
    std::vector<std::string> removed;
    items.ClearLastFirst([&](const std::shared_ptr<Item>& item) {
        removed.push_back(item->name);
        items.Erase(*item);
        if (items.Count() >= 2) {
            items.RemoveAt(items.Count() - 1); // a listener taking a neighbour along
        }
    });
    EXPECT_EQ(items.Count(), 0);
    EXPECT_EQ(removed, (std::vector<std::string>{"e", "d", "b"}));
}

// Appends, removals anywhere, renames onto names others hold: after every step each
// position, each element's position and each name lookup agree with a plain vector scanned
// from the front. Enough removals to build the position tree and squeeze gaps out often.
TEST(Collection, AgreesWithAScanFromPositionOneThroughRandomChanges)
{
    Items<ExactText> items;
    std::vector<std::shared_ptr<Item>> model;
    std::mt19937 random(11);
    const auto name = [&] { return "n" + std::to_string(random() % 40); }; // many shared names
    for (int step = 0; step < 6000; ++step) {
        const unsigned action = random() % 10;
        if (model.empty() || action < 5) {
            model.push_back(items.Add(name()));
        } else if (action < 7) {
            const auto position = static_cast<std::int32_t>(random() % model.size()) + 1;
            items.RemoveAt(position);
            model.erase(model.begin() + (position - 1));
        } else if (action < 8) {
            // From the end, the way Clear goes: no gap is left.
            items.RemoveAt(items.Count());
            model.pop_back();
        } else {
            items.Rename(*model[random() % model.size()], name());
        }
        ASSERT_EQ(items.Count(), static_cast<std::int32_t>(model.size()));
        if (step % 13 != 0) {
            continue;
        }
        for (std::size_t i = 0; i < model.size(); ++i) {
            ASSERT_EQ(items.Item(static_cast<std::int32_t>(i + 1)), model[i]) << "step " << step;
            ASSERT_EQ(items.PositionOf(*model[i]), static_cast<std::int32_t>(i + 1)) << "step " << step;
        }
        for (int n = 0; n < 40; ++n) {
            const std::string wanted = "n" + std::to_string(n);
            const auto scan =
                std::find_if(model.begin(), model.end(), [&](const auto& i) { return i->name == wanted; });
            ASSERT_EQ(items.FindFirst(wanted), scan == model.end() ? nullptr : scan->get()) << "step " << step;
        }
    }
}
