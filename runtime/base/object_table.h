// The numbered-object registry every numbered kind uses: images, files, folder
// listings, windows, gadgets and menus each keep one ObjectTable of their records.
//
// A number from 0 up is a static number chosen by the program; it indexes the slot
// array, which grows on demand to the number plus the kind's growth step. The
// number -1 asks for an automatic number: the record is allocated on its own and
// gets a number from a counter that starts far above every slot index and is
// never reused within a run. Any value that is not a slot index is taken as an
// automatic number and is accepted only if the table issued it and has not freed
// it since, so a stale, doubly freed or random value is refused rather than
// dereferenced (a record address, which the memory allocator hands out again,
// could make a freed number name somebody else's new object).
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

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

// Static numbers above this are refused: a slot array that large is a mistake.
constexpr int64_t MaxStaticObjectNumber = 1 << 20;
// The first automatic number; far above every static number.
constexpr int64_t FirstAutomaticNumber = int64_t(1) << 32;

template <typename Record> struct ObjectTable {
    int64_t growthStep = 16;
    void (*releaseRecord)(Record &) = nullptr; // frees what a live record holds
    std::recursive_mutex mutex;
    std::vector<std::unique_ptr<Record>> slots;        // static numbers
    std::unordered_map<int64_t, Record *> automatic;   // automatic number -> record
    std::unordered_map<Record *, int64_t> automaticOf; // record -> its automatic number
    int64_t nextAutomatic = FirstAutomaticNumber;
};

// Live record for a number, or nullptr. Automatic numbers are checked against the
// table's own list before any record is touched.
template <typename Record> Record *ObjectLookup(ObjectTable<Record> &table, int64_t number) {
    std::lock_guard lock(table.mutex);
    Record *record = nullptr;
    if (number >= 0 && number < int64_t(table.slots.size())) {
        record = table.slots[size_t(number)].get();
    } else {
        auto it = table.automatic.find(number);
        if (it != table.automatic.end()) record = it->second;
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
        int64_t number = table.nextAutomatic++;
        table.automatic.emplace(number, record);
        table.automaticOf.emplace(record, number);
        if (issued) *issued = number;
        return record;
    }
    if (number < 0 || number > MaxStaticObjectNumber) return nullptr;
    if (number >= int64_t(table.slots.size()))
        table.slots.resize(size_t(number + table.growthStep));
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
    auto it = table.automaticOf.find(record);
    if (it != table.automaticOf.end()) {
        table.automatic.erase(it->second);
        table.automaticOf.erase(it);
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
    for (auto &[number, record] : table.automatic) {
        if (record->handle && table.releaseRecord) table.releaseRecord(*record);
        delete record;
    }
    table.automatic.clear();
    table.automaticOf.clear();
}

// Numbers of the live objects that `match(record)` accepts: static numbers in
// ascending order, then automatic ones in order of creation. The caller may
// release them afterwards; the table's lock is not held then.
template <typename Record, typename Match>
std::vector<int64_t> ObjectNumbersWhere(ObjectTable<Record> &table, Match match) {
    std::vector<int64_t> numbers;
    std::lock_guard lock(table.mutex);
    for (size_t i = 0; i < table.slots.size(); i++)
        if (table.slots[i] && table.slots[i]->handle && match(*table.slots[i]))
            numbers.push_back(int64_t(i));
    std::vector<int64_t> automatic;
    for (auto &[number, record] : table.automatic)
        if (record->handle && match(*record)) automatic.push_back(number);
    std::sort(automatic.begin(), automatic.end());
    numbers.insert(numbers.end(), automatic.begin(), automatic.end());
    return numbers;
}

// What a creation call answers: the platform handle for a static number, the
// automatic number (`issued`) for -1.
template <typename Record>
int64_t ObjectCreated(int64_t requested, int64_t issued, Record *record) {
    return requested == -1 ? issued : reinterpret_cast<int64_t>(record->handle);
}
