// The groups' table, sized once for all items, and the keys of names.
#include "convert/keyed_groups.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

namespace pomu {
namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// At most two thirds full, so that a key is found in a few slots.
std::size_t slotCount(std::size_t items) {
    std::size_t slots = 1;
    while (slots < items + items / 2 + 1) slots *= 2;
    return slots;
}

}  // namespace

KeyedGroups::KeyedGroups(std::size_t count)
    : seed_(randomSeed()), mask_(slotCount(count) - 1), slots_(mask_ + 1), next_(count, kNone) {}

std::uint64_t KeyedGroups::seeded(std::uint64_t hash) const {
    return spreadBits(hash ^ seed_);
}

std::uint64_t randomSeed() {
    std::random_device device;
    return (std::uint64_t(device()) << 32) ^ device();
}

std::uint64_t seededHash(std::string_view bytes, std::uint64_t seed) {
    // Each word mixed into a state that starts from the seed: which texts collide depends on
    // a seed nobody outside sees.
    std::uint64_t state = spreadBits(seed ^ bytes.size());
    std::size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + at, 8);
        state = spreadBits(state ^ word);
    }
    std::uint64_t tail = 0;
    if (at < bytes.size()) std::memcpy(&tail, bytes.data() + at, bytes.size() - at);
    return spreadBits(state ^ tail ^ seed);
}

std::uint64_t spreadBits(std::uint64_t value) {
    // The finalizer of MurmurHash3.
    value ^= value >> 33;
    value *= 0xFF51AFD7ED558CCDull;
    value ^= value >> 33;
    value *= 0xC4CEB9FE1A85EC53ull;
    return value ^ (value >> 33);
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a == b) return true;
    for (std::size_t at = 0;;) {
        const auto [x, y] = std::mismatch(a.begin() + at, a.end(), b.begin() + at);
        if (x == a.end()) return true;
        if (!isSeparator(*x) || !isSeparator(*y)) return false;
        at = std::size_t(x - a.begin()) + 1;
    }
}

std::uint64_t nameHash(std::string_view name, std::uint64_t seed) {
    // '\' is rare in a name: only then is the name copied to hash it with '/'.
    if (name.find('\\') == std::string_view::npos) return seededHash(name, seed);
    std::string folded(name);
    std::replace(folded.begin(), folded.end(), '\\', '/');
    return seededHash(folded, seed);
}

}  // namespace pomu
