#pragma once

#include "util/CoreError.h"

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <absl/hash/hash.h>
#include <absl/strings/string_view.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

// Names compared byte for byte (nicks, keys).
struct ExactText {
    static std::uint32_t Hash(std::string_view text) noexcept
    {
        return static_cast<std::uint32_t>(
            absl::Hash<absl::string_view>{}(absl::string_view(text.data(), text.size())));
    }
    static bool Equal(std::string_view a, std::string_view b) noexcept { return a == b; }
};

// Names compared in ASCII upper case, as channel names are.
struct AsciiCaseText {
    static std::uint32_t Hash(std::string_view text) noexcept;
    static bool Equal(std::string_view a, std::string_view b) noexcept;
};

// The base of every collection of the model: positions from 1, the documented members
// common to all (Count, Item by position, iteration in position order, RemoveAt, a Clear
// that survives listeners) and lookups by name that answer exactly what a scan from
// position 1 would, the first match, in constant time.
//
// `Naming` gives an element's name (`Name`) and how names compare (`Hash`, `Equal`), and
// may give the hash of an element's name it keeps at hand (`HashOf`). An element's position
// is found through its name, so every element knows its position in every collection that
// holds it without storing it: `Index` is derived, never renumbered. A name may change only
// through `Renamed`.
//
// Removal leaves a gap; a Fenwick tree over the live entries, built at the first gap, keeps
// positions O(log n), and gaps are squeezed out once they outnumber the elements. Removing
// the last element (Clear removes last first) never makes a gap.
template <class T, class Naming> class Collection {
public:
    using Ptr = std::shared_ptr<T>;

    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    std::int32_t Count() const noexcept { return live_; }
    // Whether two elements share a name.
    bool HasNamesakes() const noexcept { return !shared_.empty(); }

    // The element at a position from 1 to Count; any other position fails.
    const Ptr& Item(std::int32_t position) const
    {
        if (position < 1 || position > live_) {
            throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
        }
        return nodes_[Select(position)];
    }

    // The element's position from 1, or 0 when this collection does not hold it.
    std::int32_t PositionOf(const T& element) const
    {
        const std::size_t node = NodeOf(element, HashOf(element));
        return node == kNone ? 0 : Position(node);
    }

    // An element's Index in the collection that owns it: its position, or -1 when it is gone.
    static std::int32_t IndexIn(const Collection* owner, const T& element)
    {
        const std::int32_t position = owner != nullptr ? owner->PositionOf(element) : 0;
        return position > 0 ? position : -1;
    }

    bool Contains(const T& element) const { return NodeOf(element, HashOf(element)) != kNone; }

    // Removes the element at a position; any other position fails.
    void RemoveAt(std::int32_t position)
    {
        if (position < 1 || position > live_) {
            throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
        }
        const std::size_t node = Select(position);
        // The element may hold the last reference to objects that call back into this
        // collection from their destructors: let it go once the collection is consistent.
        const Ptr released = std::move(nodes_[node]);
        Unindex(*released, node);
        DropNode(node);
    }

    // Iteration in position order. The collection must not change while it runs; walk a
    // Snapshot() where handlers may add or remove elements.
    class const_iterator {
    public:
        const_iterator(const Collection* list, std::size_t node) : list_(list), node_(node) { Skip(); }
        const Ptr& operator*() const { return list_->nodes_[node_]; }
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
            while (node_ < list_->nodes_.size() && !list_->nodes_[node_]) {
                ++node_;
            }
        }
        const Collection* list_;
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

protected:
    Collection() = default;
    ~Collection() = default;

    // Appends at position Count + 1; the caller makes sure the element is not here yet.
    void Append(Ptr element)
    {
        const std::uint32_t hash = HashOf(*element);
        T* const namesake = FindAny(Naming::Name(*element), hash);
        AppendNode(std::move(element), hash, namesake);
    }

    // Append for a caller that has just looked the name up and found nothing.
    void AppendUnnamed(Ptr element)
    {
        const std::uint32_t hash = HashOf(*element);
        AppendNode(std::move(element), hash, nullptr);
    }

    // Appends unless the collection holds the element already; one probe when its name is
    // not taken, as nearly all are.
    bool AppendIfAbsent(const Ptr& element)
    {
        const std::uint32_t hash = HashOf(*element);
        T* const namesake = FindAny(Naming::Name(*element), hash);
        if (namesake == element.get() || (namesake != nullptr && NodeOf(*element, hash) != kNone)) {
            return false;
        }
        AppendNode(element, hash, namesake);
        return true;
    }

    // Removes the element when this collection holds it.
    bool Erase(const T& element)
    {
        const auto it = index_.find(ElementKey{&element, HashOf(element)});
        if (it == index_.end()) {
            return false;
        }
        const std::size_t node = NodeOfSlot(it->slot);
        const Ptr released = std::move(nodes_[node]);
        index_.erase(it);
        Unshare(Naming::Name(element), &element);
        DropNode(node);
        return true;
    }

    // The element at the lowest position with that name, or null.
    T* FindFirst(std::string_view name) const
    {
        T* const any = FindAny(name, Naming::Hash(name));
        if (any == nullptr || shared_.empty()) {
            return any;
        }
        const auto it = shared_.find(name);
        if (it == shared_.end()) {
            return any;
        }
        T* best = nullptr;
        std::int32_t bestPosition = 0;
        for (T* candidate : it->second) {
            const std::int32_t position = PositionOf(*candidate);
            if (best == nullptr || position < bestPosition) {
                best = candidate;
                bestPosition = position;
            }
        }
        return best;
    }

    // The element's name has changed from `previousName`; it keeps its position.
    void Renamed(const T& element, std::string_view previousName)
    {
        const auto it = index_.find(ElementKey{&element, Naming::Hash(previousName)});
        if (it == index_.end()) {
            return;
        }
        const std::size_t node = NodeOfSlot(it->slot);
        index_.erase(it);
        Unshare(previousName, &element);
        const std::string_view name = Naming::Name(element);
        const std::uint32_t hash = HashOf(element);
        T* const namesake = FindAny(name, hash);
        index_.insert(Entry{Slot(hash, node), nodes_[node].get()});
        if (namesake != nullptr) {
            NoteShared(name, namesake, nodes_[node].get());
        }
    }

    // Removes every element, last position first, through `remove`. A listener may remove
    // others meanwhile, so each position is checked again before it is used.
    template <class Remove> void ClearLastFirst(Remove&& remove)
    {
        for (std::int32_t position = Count(); position >= 1; --position) {
            if (position <= Count()) {
                const Ptr element = Item(position);
                remove(element);
            }
        }
    }

private:
    static constexpr std::size_t kNone = ~std::size_t{0};
    static constexpr std::uint64_t kNodeMask = 0xffffffffu;

    // An index slot: the name's hash above the node number, so that growing the index never
    // has to visit the elements.
    static std::uint64_t Slot(std::uint32_t hash, std::size_t node)
    {
        return (std::uint64_t{hash} << 32) | static_cast<std::uint64_t>(node);
    }
    static std::size_t NodeOfSlot(std::uint64_t slot) { return static_cast<std::size_t>(slot & kNodeMask); }

    struct NameKey {
        std::string_view name;
        std::uint32_t hash;
    };
    struct ElementKey {
        const T* element;
        std::uint32_t hash;
    };
    // An index entry holds the element too: a lookup in a large list then touches the index
    // and the element, not the node array between them.
    struct Entry {
        std::uint64_t slot;
        T* element;
    };
    struct SlotHash {
        using is_transparent = void;
        std::size_t operator()(const Entry& entry) const noexcept
        {
            return static_cast<std::size_t>(entry.slot >> 32);
        }
        std::size_t operator()(std::uint64_t slot) const noexcept { return static_cast<std::size_t>(slot >> 32); }
        std::size_t operator()(const NameKey& key) const noexcept { return key.hash; }
        std::size_t operator()(const ElementKey& key) const noexcept { return key.hash; }
    };
    struct SlotEq {
        using is_transparent = void;
        bool operator()(const Entry& a, const Entry& b) const noexcept { return a.slot == b.slot; }
        bool operator()(const Entry& entry, std::uint64_t slot) const noexcept { return entry.slot == slot; }
        bool operator()(const Entry& entry, const NameKey& key) const
        {
            return (entry.slot >> 32) == key.hash && Naming::Equal(Naming::Name(*entry.element), key.name);
        }
        bool operator()(const Entry& entry, const ElementKey& key) const noexcept
        {
            return (entry.slot >> 32) == key.hash && entry.element == key.element;
        }
        template <class Key> bool operator()(const Key& key, const Entry& entry) const
        {
            return (*this)(entry, key);
        }
    };
    struct SharedHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const noexcept { return Naming::Hash(name); }
    };
    struct SharedEq {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const noexcept { return Naming::Equal(a, b); }
    };

    static std::size_t LowBit(std::size_t i) { return i & (~i + 1); }

    T* FindAny(std::string_view name, std::uint32_t hash) const
    {
        const auto it = index_.find(NameKey{name, hash});
        return it == index_.end() ? nullptr : it->element;
    }

    void AppendNode(Ptr element, std::uint32_t hash, T* namesake)
    {
        const std::size_t node = nodes_.size();
        nodes_.push_back(std::move(element));
        if (!tree_.empty()) {
            const std::size_t i = nodes_.size();
            tree_.push_back(static_cast<std::int32_t>(1 + Prefix(i - 1) - Prefix(i - LowBit(i))));
        }
        ++live_;
        index_.insert(Entry{Slot(hash, node), nodes_[node].get()});
        if (namesake != nullptr) {
            NoteShared(Naming::Name(*nodes_[node]), namesake, nodes_[node].get());
        }
    }

    static std::uint32_t HashOf(const T& element)
    {
        if constexpr (requires { Naming::HashOf(element); }) {
            return Naming::HashOf(element);
        } else {
            return Naming::Hash(Naming::Name(element));
        }
    }

    std::size_t NodeOf(const T& element, std::uint32_t hash) const
    {
        const auto it = index_.find(ElementKey{&element, hash});
        return it == index_.end() ? kNone : NodeOfSlot(it->slot);
    }

    // Names are nearly always unique; the few shared ones list all their holders here.
    void NoteShared(std::string_view name, T* holder, T* added)
    {
        auto [it, inserted] = shared_.try_emplace(std::string(name));
        if (inserted) {
            it->second.push_back(holder);
        }
        it->second.push_back(added);
    }

    void Unshare(std::string_view name, const T* element)
    {
        if (shared_.empty()) {
            return;
        }
        const auto it = shared_.find(name);
        if (it == shared_.end()) {
            return;
        }
        std::erase(it->second, element);
        if (it->second.size() < 2) {
            shared_.erase(it);
        }
    }

    void Unindex(const T& element, std::size_t node)
    {
        index_.erase(Slot(HashOf(element), node));
        Unshare(Naming::Name(element), &element);
    }

    std::int32_t Position(std::size_t node) const
    {
        return static_cast<std::int32_t>(tree_.empty() ? node + 1 : Prefix(node + 1));
    }

    // Node of the live entry at a position from 1 to Count.
    std::size_t Select(std::int32_t position) const
    {
        if (tree_.empty()) {
            return static_cast<std::size_t>(position - 1);
        }
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
        return node;
    }

    // Number of live entries among the first n nodes, with a tree.
    std::size_t Prefix(std::size_t n) const
    {
        std::size_t sum = 0;
        for (; n > 0; n -= LowBit(n)) {
            sum += static_cast<std::size_t>(tree_[n - 1]);
        }
        return sum;
    }

    void DropNode(std::size_t node)
    {
        --live_;
        if (node + 1 == nodes_.size()) {
            // The last node: positions before it do not move, and trailing gaps can go too.
            do {
                nodes_.pop_back();
                if (!tree_.empty()) {
                    tree_.pop_back();
                }
            } while (!nodes_.empty() && !nodes_.back());
            if (nodes_.size() == static_cast<std::size_t>(live_)) {
                tree_.clear();
            }
            return;
        }
        if (tree_.empty()) {
            BuildTree(); // the first gap: from now on positions are counted
        }
        for (std::size_t i = node + 1; i <= tree_.size(); i += LowBit(i)) {
            --tree_[i - 1];
        }
        if (nodes_.size() > 32 && nodes_.size() - static_cast<std::size_t>(live_) > nodes_.size() / 2) {
            Compact();
        }
    }

    // Every node live: the tree of all ones.
    void BuildTree()
    {
        tree_.assign(nodes_.size(), 1);
        for (std::size_t i = 1; i <= tree_.size(); ++i) {
            const std::size_t parent = i + LowBit(i);
            if (parent <= tree_.size()) {
                tree_[parent - 1] += tree_[i - 1];
            }
        }
    }

    void Compact()
    {
        std::vector<std::uint32_t> renumbered(nodes_.size());
        std::vector<Ptr> kept;
        kept.reserve(static_cast<std::size_t>(live_));
        for (std::size_t node = 0; node < nodes_.size(); ++node) {
            if (nodes_[node]) {
                renumbered[node] = static_cast<std::uint32_t>(kept.size());
                kept.push_back(std::move(nodes_[node]));
            }
        }
        Index index;
        index.reserve(kept.size());
        for (const Entry& entry : index_) {
            index.insert(
                Entry{Slot(static_cast<std::uint32_t>(entry.slot >> 32), renumbered[NodeOfSlot(entry.slot)]),
                      entry.element});
        }
        nodes_.swap(kept);
        index_.swap(index);
        tree_.clear();
    }

    using Index = absl::flat_hash_set<Entry, SlotHash, SlotEq>;

    std::vector<Ptr> nodes_;         // null once removed
    std::vector<std::int32_t> tree_; // Fenwick tree over live nodes; empty while there are no gaps
    Index index_;                    // every element, by name and by identity
    std::int32_t live_ = 0;
    absl::flat_hash_map<std::string, std::vector<T*>, SharedHash, SharedEq> shared_;
};

} // namespace tellix
