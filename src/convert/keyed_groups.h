// Items in groups of one key, found again by the key: the proof's indexes, linear in the items.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace pomu {

// Items numbered 0 to count - 1 by their owner, who keeps their keys; each group holds its
// items in their numbers' order. Open addressing over the numbers: a few bytes an item and no
// allocation for each. The slots are chosen with a seed of each table's own, so keys made to
// crowd one slot (an archive's crafted names or sizes) cannot be chosen in advance.
class KeyedGroups {
  public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    explicit KeyedGroups(std::size_t count);

    // What the keys' own hashes are made with, where a key is more than a number (a name).
    std::uint64_t seed() const { return seed_; }

    // Adds the item to its key's group; `sameKey(other)` tells whether another item has its
    // key. Items are added from the highest number down, so that each group stays in order.
    template <class SameKey>
    void add(std::uint32_t item, std::uint64_t hash, SameKey sameKey) {
        hash = seeded(hash);
        Slot& slot = slots_[slotOf(hash, sameKey)];
        next_[item] = slot.first;
        slot.first = item;
        slot.tag = std::uint32_t(hash >> 32);
    }

    // The first item of the key's group, or kNone; `hasKey(item)` compares an item's key.
    template <class HasKey>
    std::uint32_t first(std::uint64_t hash, HasKey hasKey) const {
        return slots_[slotOf(seeded(hash), hasKey)].first;
    }
    std::uint32_t next(std::uint32_t item) const { return next_[item]; }

    // The first item of the key's group that `isLeft`, or kNone. Those before it are dropped
    // from the group for good, so a group that is taken item by item is read once.
    template <class HasKey, class IsLeft>
    std::uint32_t firstLeft(std::uint64_t hash, HasKey hasKey, IsLeft isLeft) {
        std::uint32_t& first = slots_[slotOf(seeded(hash), hasKey)].first;
        if (first == kNone) return kNone;
        // The last item stays even when it is not left: it holds the group's key.
        while (!isLeft(first) && next_[first] != kNone) first = next_[first];
        return isLeft(first) ? first : kNone;
    }

  private:
    std::uint64_t seeded(std::uint64_t hash) const;
    // The key's slot: the one holding its group, or the empty one where it would go.
    template <class HasKey>
    std::size_t slotOf(std::uint64_t hash, HasKey hasKey) const {
        const std::uint32_t tag = std::uint32_t(hash >> 32);
        for (std::size_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
            const Slot& at = slots_[slot];
            if (at.first == kNone || (at.tag == tag && hasKey(at.first))) return slot;
        }
    }

    // A group's first item, and high bits of its key's hash: most other keys are told apart
    // without reading an item.
    struct Slot {
        std::uint32_t first = kNone;
        std::uint32_t tag = 0;
    };

    std::uint64_t seed_;
    std::size_t mask_;
    std::vector<Slot> slots_;
    std::vector<std::uint32_t> next_;  // the item after each in its group
};

// A 64-bit value spread over all bits, so that its low bits choose a slot well.
std::uint64_t spreadBits(std::uint64_t value);

// A seed drawn afresh from the system's random source.
std::uint64_t randomSeed();

// The bytes' hash under the seed: without it, nobody can make many texts share a hash.
std::uint64_t seededHash(std::string_view bytes, std::uint64_t seed);

// Names the same but for their separators, '/' and '\' standing for each other.
bool sameName(std::string_view a, std::string_view b);
std::uint64_t nameHash(std::string_view name, std::uint64_t seed);

// Items grouped by name, as the owner's `nameOf(item)` gives it.
template <class NameOf>
class NameGroups {
  public:
    NameGroups(std::size_t count, NameOf nameOf) : nameOf_(nameOf), groups_(count) {
        for (std::size_t item = count; item-- > 0;) {
            const std::string_view name = nameOf_(item);
            groups_.add(std::uint32_t(item), nameHash(name, groups_.seed()),
                        [&](std::uint32_t other) { return sameName(nameOf_(other), name); });
        }
    }

    std::uint32_t first(std::string_view name) const {
        return groups_.first(nameHash(name, groups_.seed()), hasName(name));
    }
    std::uint32_t next(std::uint32_t item) const { return groups_.next(item); }
    template <class IsLeft>
    std::uint32_t firstLeft(std::string_view name, IsLeft isLeft) {
        return groups_.firstLeft(nameHash(name, groups_.seed()), hasName(name), isLeft);
    }

  private:
    auto hasName(std::string_view name) const {
        return [this, name](std::uint32_t item) { return sameName(nameOf_(item), name); };
    }

    NameOf nameOf_;
    KeyedGroups groups_;
};

}  // namespace pomu
