#pragma once

#include "util/CoreError.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tellix {

// Hash and equality that let a std::string-keyed map be searched with a string_view.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};

template <class V> using TextMap = std::unordered_map<std::string, V, TextHash, std::equal_to<>>;

// The ordered keyed list behind the four collections: positions from 1, unique keys.
// Removal leaves a gap that a Fenwick tree over the live entries skips, so finding
// the n-th element, the position of a key and removing one all cost O(log n);
// gaps are squeezed out once they outnumber the elements.
template <class T> class KeyedList {
public:
    using Ptr = std::shared_ptr<T>;

    std::int32_t Count() const noexcept { return live_; }
    bool Empty() const noexcept { return live_ == 0; }

    // Appends at position Count() + 1. A key already in the list fails.
    void Append(std::string key, Ptr item)
    {
        auto [it, inserted] = byKey_.try_emplace(std::move(key), nodes_.size());
        if (!inserted) {
            throw CoreError("key is already associated with an element of this collection", 457);
        }
        nodes_.push_back(Node{std::move(item), it->first});
        const std::size_t i = nodes_.size();
        const std::size_t low = i & (~i + 1);
        tree_.push_back(1 + Prefix(i - 1) - Prefix(i - low));
        ++live_;
    }

    // The element at a position from 1 to Count(); any other position fails.
    const Ptr& At(std::int32_t position) const
    {
        if (position < 1 || position > live_) {
            throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
        }
        return nodes_[Select(position)].item;
    }

    // The element stored under the key, or null.
    Ptr Find(std::string_view key) const
    {
        auto it = byKey_.find(key);
        return it == byKey_.end() ? nullptr : nodes_[it->second].item;
    }

    // Position of the element stored under the key, or 0.
    std::int32_t PositionOf(std::string_view key) const
    {
        auto it = byKey_.find(key);
        return it == byKey_.end() ? 0 : static_cast<std::int32_t>(Prefix(it->second + 1));
    }

    // Removes the element at the position; any other position fails.
    void RemoveAt(std::int32_t position)
    {
        if (position < 1 || position > live_) {
            throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
        }
        const std::size_t node = Select(position);
        // The element may release the last reference to objects that touch this
        // list from their destructors; let it go only once the list is consistent.
        Ptr released = std::move(nodes_[node].item);
        byKey_.erase(nodes_[node].key);
        nodes_[node].key = {};
        for (std::size_t i = node + 1; i <= tree_.size(); i += i & (~i + 1)) {
            --tree_[i - 1];
        }
        --live_;
        if (nodes_.size() > 32 && nodes_.size() - static_cast<std::size_t>(live_) > nodes_.size() / 2) {
            Compact();
        }
    }

    void RemoveAll()
    {
        std::vector<Node> released;
        released.swap(nodes_);
        tree_.clear();
        byKey_.clear();
        live_ = 0;
    }

    // Iteration in position order. The list must not change while it runs;
    // take Snapshot() to walk it while elements remove themselves.
    class const_iterator {
    public:
        const_iterator(const KeyedList* list, std::size_t node) : list_(list), node_(node) { Skip(); }
        const Ptr& operator*() const { return list_->nodes_[node_].item; }
        const_iterator& operator++()
        {
            ++node_;
            Skip();
            return *this;
        }
        bool operator==(const const_iterator& other) const { return node_ == other.node_; }

    private:
        void Skip()
        {
            while (node_ < list_->nodes_.size() && !list_->nodes_[node_].item) {
                ++node_;
            }
        }
        const KeyedList* list_;
        std::size_t node_;
    };

    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, nodes_.size()); }

    std::vector<Ptr> Snapshot() const
    {
        std::vector<Ptr> items;
        items.reserve(static_cast<std::size_t>(live_));
        for (const Ptr& item : *this) {
            items.push_back(item);
        }
        return items;
    }

private:
    struct Node {
        Ptr item; // null once removed
        std::string key;
    };

    // Number of live entries among the first n nodes.
    std::size_t Prefix(std::size_t n) const
    {
        std::size_t sum = 0;
        for (; n > 0; n -= n & (~n + 1)) {
            sum += static_cast<std::size_t>(tree_[n - 1]);
        }
        return sum;
    }

    // Node holding the live entry at a position from 1 to live_.
    std::size_t Select(std::int32_t position) const
    {
        std::size_t node = 0;
        auto remaining = static_cast<std::size_t>(position);
        std::size_t step = 1;
        while (step * 2 <= tree_.size()) {
            step *= 2;
        }
        for (; step > 0; step /= 2) {
            const std::size_t next = node + step;
            if (next <= tree_.size() && static_cast<std::size_t>(tree_[next - 1]) < remaining) {
                node = next;
                remaining -= static_cast<std::size_t>(tree_[next - 1]);
            }
        }
        return node; // 0-based index of the node after the last one skipped
    }

    void Compact()
    {
        std::vector<Node> kept;
        kept.reserve(static_cast<std::size_t>(live_));
        for (Node& node : nodes_) {
            if (node.item) {
                kept.push_back(std::move(node));
            }
        }
        nodes_.swap(kept);
        tree_.assign(nodes_.size(), 0);
        for (std::size_t i = 1; i <= tree_.size(); ++i) {
            tree_[i - 1] += 1;
            const std::size_t parent = i + (i & (~i + 1));
            if (parent <= tree_.size()) {
                tree_[parent - 1] += tree_[i - 1];
            }
            byKey_[nodes_[i - 1].key] = i - 1;
        }
    }

    std::vector<Node> nodes_;
    std::vector<std::int32_t> tree_;
    TextMap<std::size_t> byKey_;
    std::int32_t live_ = 0;
};

// Lookup of list elements by a name that several elements may share (nicks in a
// master list, channel names): the answer is the element at the lowest position,
// exactly what a scan from position 1 finds.
template <class T> class NameIndex {
public:
    void Add(std::string_view name, T* item)
    {
        auto [it, inserted] = map_.try_emplace(std::string(name), Entry{item, {}});
        if (!inserted) {
            it->second.more.push_back(item);
        }
    }

    void Remove(std::string_view name, T* item)
    {
        auto it = map_.find(name);
        if (it == map_.end()) {
            return;
        }
        Entry& entry = it->second;
        if (entry.first == item) {
            if (entry.more.empty()) {
                map_.erase(it);
                return;
            }
            entry.first = entry.more.back();
            entry.more.pop_back();
        } else {
            std::erase(entry.more, item);
        }
    }

    T* First(std::string_view name, const KeyedList<T>& list) const
    {
        auto it = map_.find(name);
        if (it == map_.end()) {
            return nullptr;
        }
        const Entry& entry = it->second;
        if (entry.more.empty()) {
            return entry.first;
        }
        T* best = entry.first;
        std::int32_t bestPosition = list.PositionOf(best->Key());
        for (T* item : entry.more) {
            const std::int32_t position = list.PositionOf(item->Key());
            if (position < bestPosition) {
                best = item;
                bestPosition = position;
            }
        }
        return best;
    }

    void Clear() { map_.clear(); }

private:
    // Names are nearly always unique, so the one element needs no allocation of its own.
    struct Entry {
        T* first;
        std::vector<T*> more;
    };
    TextMap<Entry> map_;
};

} // namespace tellix
