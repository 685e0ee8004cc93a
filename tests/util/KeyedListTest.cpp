#include "util/KeyedList.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

using tellix::CoreError;
using tellix::KeyedList;
using tellix::NameIndex;

namespace {

struct Item {
    std::string key;
    std::string name;
    const std::string& Key() const { return key; }
};

std::shared_ptr<Item> MakeItem(const std::string& key, const std::string& name = "")
{
    return std::make_shared<Item>(Item{key, name});
}

std::vector<std::string> Keys(const KeyedList<Item>& list)
{
    std::vector<std::string> keys;
    for (const auto& item : list) {
        keys.push_back(item->key);
    }
    return keys;
}

} // namespace

TEST(KeyedList, PositionsFromOneKeysAndRenumberingAfterRemovals)
{
    KeyedList<Item> list;
    for (const char* key : {"a", "b", "c", "d"}) {
        list.Append(key, MakeItem(key));
    }
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.At(1)->key, "a");
    EXPECT_EQ(list.At(4)->key, "d");
    EXPECT_EQ(list.PositionOf("c"), 3);

    list.RemoveAt(2);
    EXPECT_EQ(Keys(list), (std::vector<std::string>{"a", "c", "d"}));
    EXPECT_EQ(list.PositionOf("c"), 2);
    EXPECT_EQ(list.PositionOf("b"), 0);
    EXPECT_EQ(list.Find("b"), nullptr);
    EXPECT_EQ(list.Find("d")->key, "d");

    // A removed key may be used again, and lands at the end.
    list.Append("b", MakeItem("b"));
    EXPECT_EQ(Keys(list), (std::vector<std::string>{"a", "c", "d", "b"}));
}

TEST(KeyedList, InvalidPositionsAndDuplicateKeysFailAndLeaveTheListAlone)
{
    KeyedList<Item> list;
    list.Append("a", MakeItem("a"));
    EXPECT_THROW(list.At(0), CoreError);
    EXPECT_THROW(list.At(2), CoreError);
    EXPECT_THROW(list.RemoveAt(-1), CoreError);
    EXPECT_THROW(list.RemoveAt(2), CoreError);
    EXPECT_THROW(list.Append("a", MakeItem("a")), CoreError);
    EXPECT_EQ(Keys(list), (std::vector<std::string>{"a"}));
}

TEST(KeyedList, AgreesWithAPlainVectorUnderRandomChanges)
{
    // Enough removals to squeeze gaps out several times.
    KeyedList<Item> list;
    std::vector<std::string> model;
    std::mt19937 random(7);
    int next = 0;
    for (int step = 0; step < 5000; ++step) {
        if (model.empty() || random() % 3 != 0) {
            const std::string key = "k" + std::to_string(next++);
            list.Append(key, MakeItem(key));
            model.push_back(key);
        } else {
            const auto position = static_cast<std::int32_t>(random() % model.size()) + 1;
            list.RemoveAt(position);
            model.erase(model.begin() + (position - 1));
        }
        if (step % 97 == 0) {
            ASSERT_EQ(Keys(list), model);
            for (std::size_t i = 0; i < model.size(); ++i) {
                ASSERT_EQ(list.At(static_cast<std::int32_t>(i + 1))->key, model[i]);
                ASSERT_EQ(list.PositionOf(model[i]), static_cast<std::int32_t>(i + 1));
            }
        }
    }
    ASSERT_EQ(list.Count(), static_cast<std::int32_t>(model.size()));
}

TEST(NameIndex, FindsTheSharedNameAtTheLowestPosition)
{
    KeyedList<Item> list;
    NameIndex<Item> names;
    for (const auto& [key, name] :
         std::vector<std::pair<std::string, std::string>>{{"k1", "x"}, {"k2", "y"}, {"k3", "x"}, {"k4", "x"}}) {
        auto item = MakeItem(key, name);
        names.Add(name, item.get());
        list.Append(key, item);
    }
    EXPECT_EQ(names.First("x", list)->key, "k1");
    EXPECT_EQ(names.First("z", list), nullptr);

    Item* first = list.At(1).get();
    names.Remove("x", first);
    list.RemoveAt(1);
    EXPECT_EQ(names.First("x", list)->key, "k3");
    EXPECT_EQ(names.First("y", list)->key, "k2");
}
