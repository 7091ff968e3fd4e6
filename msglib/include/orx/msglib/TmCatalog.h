#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <orx/msglib/TmException.h>

// Interns names to small ints. A message keeps one per group so that the wire carries each
// member name once; structures store the ints. Catalogs owned by a message are shared-owned,
// so a structure that outlives its message keeps its names readable.
// A number never handed out before in this process (catalog serials).
uint64_t tm_next_catalog_serial();

template <class T>
class Tm_catalog : public std::enable_shared_from_this<Tm_catalog<T>> {
  public:
    Tm_catalog() : serial_(tm_next_catalog_serial()) {}
    Tm_catalog(const Tm_catalog& other)
        : std::enable_shared_from_this<Tm_catalog<T>>(),
          items_(other.items_),
          index_(other.index_),
          serial_(tm_next_catalog_serial()) {}
    Tm_catalog& operator=(const Tm_catalog&) = delete;

    // Index of name, added at the end when absent.
    int add(const T& name) {
        auto [it, inserted] = index_.try_emplace(name, static_cast<int>(items_.size()));
        if (inserted) {
            items_.push_back(name);
        }
        return it->second;
    }
    // Index of name, or -1.
    int find(const T& name) const {
        auto it = index_.find(name);
        return it == index_.end() ? -1 : it->second;
    }
    const T& get(int index) const {
        if (index < 0 || index >= size()) {
            throw Tm_out_of_range_exception(index, 0, size() - 1);
        }
        return items_[static_cast<size_t>(index)];
    }
    int size() const { return static_cast<int>(items_.size()); }
    // Identifies this catalog and its content up to the next clear(): entries are only ever
    // appended in between, so an index found for a name stays valid while the serial does.
    uint64_t serial() const { return serial_; }
    void clear() {
        serial_ = tm_next_catalog_serial();
        items_.clear();
        index_.clear();
        tables_.clear();
        recent_ = {};
    }

    // Indexes of every entry of a null-terminated name table, interned once per table, so that
    // structures filled from the same table do not hash each name again.
    const std::vector<int>& add_table(const char* const* names) {
        Table& entry = table_of(names);
        bool same = !entry.names.empty() || names[0] == nullptr;
        for (size_t i = 0; same && i <= entry.names.size(); ++i) {
            const char* cur = names[i];
            same = i == entry.names.size() ? cur == nullptr : cur == entry.names[i];
        }
        if (!same) {  // first use, or another table now lives at this address
            entry.names.clear();
            entry.ids.clear();
            for (const char* const* n = names; *n != nullptr; ++n) {
                entry.names.push_back(*n);
                entry.ids.push_back(add(T(*n)));
            }
        }
        return entry.ids;
    }

  private:
    struct Table {
        std::vector<const char*> names;
        std::vector<int> ids;
    };
    std::vector<T> items_;
    std::unordered_map<T, int> index_;
    uint64_t serial_;
    // Records nest a few kinds of structures, filled in turn: the tables used last are looked
    // at first, without hashing.
    Table& table_of(const char* const* names) {
        for (const Recent& r : recent_) {
            if (r.names == names && r.table != nullptr) {
                return *r.table;
            }
        }
        Table& table = tables_[names];
        recent_[next_recent_] = Recent{names, &table};
        next_recent_ = (next_recent_ + 1) % recent_.size();
        return table;
    }

    struct Recent {
        const char* const* names = nullptr;
        Table* table = nullptr;
    };
    std::unordered_map<const char* const*, Table> tables_;  // nodes: entries never move
    std::array<Recent, 4> recent_{};
    size_t next_recent_ = 0;
};

extern template class Tm_catalog<std::string>;
