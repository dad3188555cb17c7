// The numbered-object registry every numbered kind uses: images, files, folder
// listings, windows, gadgets and menus each keep one ObjectTable of their records.
//
// A number from 0 up is a static number chosen by the program; it indexes the slot
// array, which grows on demand to the number plus the kind's growth step. The
// number -1 asks for an automatic number: the record is allocated on its own and
// its address is the number. Any value that is not a slot index is taken as an
// automatic number and is accepted only if the table issued it and has not freed
// it since, so a stale, doubly freed or random value is refused rather than
// dereferenced.
//
// A record is live while its first field `handle` is non-zero. Records are plain
// structs; the kind's release routine frees what a live record holds, after which
// the table resets the record to its zero state.
//
// Each table has one recursive mutex, held only inside one allocation, lookup or
// release (never while calling into another table). Record contents are not
// locked: the program never uses one object from two threads at once.
// Callable from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

// Static numbers above this are refused: a slot array that large is a mistake.
constexpr int64_t MaxStaticObjectNumber = 1 << 20;

template <typename Record> struct ObjectTable {
    int64_t growthStep = 16;
    void (*releaseRecord)(Record &) = nullptr; // frees what a live record holds
    std::recursive_mutex mutex;
    std::vector<std::unique_ptr<Record>> slots; // static numbers
    std::unordered_set<Record *> automatic;     // records with automatic numbers
};

// Live record for a number, or nullptr. Automatic numbers are checked against the
// table's own list before the record is touched.
template <typename Record> Record *ObjectLookup(ObjectTable<Record> &table, int64_t number) {
    std::lock_guard lock(table.mutex);
    Record *record = nullptr;
    if (number >= 0 && number < int64_t(table.slots.size())) {
        record = table.slots[size_t(number)].get();
    } else {
        auto it = table.automatic.find(reinterpret_cast<Record *>(number));
        if (it != table.automatic.end()) record = *it;
    }
    return record && record->handle ? record : nullptr;
}

// A zeroed record for `number` (-1: a new automatic number, written to *issued).
// Reusing a static number that holds a live object releases that object first.
// nullptr for a number that can be neither. The caller fills the record and sets
// its handle; if creation fails it calls ObjectDiscard so nothing is left behind.
template <typename Record>
Record *ObjectAllocate(ObjectTable<Record> &table, int64_t number, int64_t *issued) {
    std::lock_guard lock(table.mutex);
    if (number == -1) {
        Record *record = new (std::nothrow) Record{};
        if (!record) return nullptr;
        table.automatic.insert(record);
        if (issued) *issued = reinterpret_cast<int64_t>(record);
        return record;
    }
    if (number < 0 || number > MaxStaticObjectNumber) return nullptr;
    if (number >= int64_t(table.slots.size())) table.slots.resize(size_t(number + table.growthStep));
    auto &slot = table.slots[size_t(number)];
    if (!slot) {
        slot.reset(new (std::nothrow) Record{});
        if (!slot) return nullptr;
    } else if (slot->handle) {
        if (table.releaseRecord) table.releaseRecord(*slot);
        *slot = Record{};
    }
    if (issued) *issued = number;
    return slot.get();
}

// Gives back a record obtained from ObjectAllocate whose creation failed (or whose
// object was released by other means): a static slot is zeroed, an automatic
// record unlinked and deleted. The release routine is not called.
template <typename Record> void ObjectDiscard(ObjectTable<Record> &table, Record *record) {
    std::lock_guard lock(table.mutex);
    if (table.automatic.erase(record)) {
        delete record;
        return;
    }
    *record = Record{};
}

// Releases the object of a number; returns 1 if there was one.
template <typename Record> int ObjectRelease(ObjectTable<Record> &table, int64_t number) {
    std::lock_guard lock(table.mutex);
    Record *record = ObjectLookup(table, number);
    if (!record) return 0;
    if (table.releaseRecord) table.releaseRecord(*record);
    ObjectDiscard(table, record);
    return 1;
}

// Releases every live object of the table.
template <typename Record> void ObjectReleaseAll(ObjectTable<Record> &table) {
    std::lock_guard lock(table.mutex);
    for (auto &slot : table.slots) {
        if (slot && slot->handle) {
            if (table.releaseRecord) table.releaseRecord(*slot);
            *slot = Record{};
        }
    }
    for (Record *record : table.automatic) {
        if (record->handle && table.releaseRecord) table.releaseRecord(*record);
        delete record;
    }
    table.automatic.clear();
}

// What a creation call answers: the platform handle for a static number, the
// automatic number for -1.
template <typename Record> int64_t ObjectCreated(int64_t requested, Record *record) {
    return requested == -1 ? reinterpret_cast<int64_t>(record)
                           : reinterpret_cast<int64_t>(record->handle);
}
