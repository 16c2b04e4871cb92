// Keyed lists handed out by the library (camera lists, enumeration choices, units) and the
// iterator shape shared by pair and setting lists.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "zmcorelib/pair.h"

namespace ZmCoreLib {

// A key and a copy of its name.
class Pair final : public IPair {
public:
    Pair(int key, const char16_t* name) : key_(key), name_(name != nullptr ? name : u"") {}
    Pair(int key, std::u16string name) : key_(key), name_(std::move(name)) {}

    int GetKey() override { return key_; }
    const char16_t* GetName() override { return name_.c_str(); }

private:
    int key_;
    std::u16string name_;
};

// Walks a vector owned elsewhere. The length is taken when the iterator is made; Current()
// checks the index against the vector's present size, so an iterator that outlived a shrinking
// of its vector throws instead of reading past the end. A client frees it with Release().
template <class Interface, class Item, class ItemInterface>
class ListIterator final : public Interface {
public:
    explicit ListIterator(std::vector<Item>* items) : items_(items), count_(items->size()) {}

    void First() override { index_ = 0; }
    bool IsDone() override { return index_ >= count_; }
    void Next() override { ++index_; }
    void Release() override { delete this; }
    ItemInterface* Current() override {
        if (index_ >= items_->size()) {
            throw std::out_of_range("list iterator: index " + std::to_string(index_) +
                                    " is outside a list of " + std::to_string(items_->size()));
        }
        return &(*items_)[index_];
    }

private:
    ~ListIterator() = default;

    std::vector<Item>* items_;
    std::size_t count_;
    std::size_t index_ = 0;
};

using PairIterator = ListIterator<IPairIterator, Pair, IPair>;

}  // namespace ZmCoreLib
