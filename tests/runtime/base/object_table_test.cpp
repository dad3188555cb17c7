#include "runtime/base/object_table.h"

#include <gtest/gtest.h>

namespace {

struct ThingRecord {
    void *handle = nullptr;
    int payload = 0;
};

int Released = 0;
void ReleaseThing(ThingRecord &record) {
    ++Released;
    delete static_cast<int *>(record.handle);
}

ThingRecord *MakeThing(ObjectTable<ThingRecord> &table, int64_t number, int payload,
                       int64_t *issued) {
    ThingRecord *record = ObjectAllocate(table, number, issued);
    if (record) {
        record->handle = new int(payload);
        record->payload = payload;
    }
    return record;
}

} // namespace

TEST(ObjectTable, StaticNumbersGrowAndReuseFreesTheOldObject) {
    ObjectTable<ThingRecord> table;
    table.releaseRecord = ReleaseThing;
    Released = 0;
    int64_t issued = -7;
    ThingRecord *first = MakeThing(table, 3, 30, &issued);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(issued, 3);
    EXPECT_EQ(table.slots.size(), 3u + 16u);
    EXPECT_EQ(ObjectLookup(table, 3), first);
    EXPECT_EQ(ObjectLookup(table, 2), nullptr); // slot exists, nothing in it

    ThingRecord *again = MakeThing(table, 3, 31, &issued);
    EXPECT_EQ(Released, 1); // the old object went first
    EXPECT_EQ(again, first);
    EXPECT_EQ(ObjectLookup(table, 3)->payload, 31);

    EXPECT_EQ(ObjectRelease(table, 3), 1);
    EXPECT_EQ(Released, 2);
    EXPECT_EQ(ObjectLookup(table, 3), nullptr);
    EXPECT_EQ(ObjectRelease(table, 3), 0); // freeing twice does nothing

    EXPECT_EQ(ObjectAllocate(table, -2, &issued), nullptr);
    EXPECT_EQ(ObjectAllocate(table, MaxStaticObjectNumber + 1, &issued), nullptr);
}

TEST(ObjectTable, AutomaticNumbersAreValidatedAgainstTheTable) {
    ObjectTable<ThingRecord> table;
    table.releaseRecord = ReleaseThing;
    Released = 0;
    int64_t a = 0, b = 0;
    ThingRecord *ra = MakeThing(table, -1, 1, &a);
    MakeThing(table, -1, 2, &b);
    EXPECT_GE(a, FirstAutomaticNumber); // never mistaken for a slot index
    EXPECT_NE(a, b);
    EXPECT_EQ(ObjectCreated(-1, a, ra), a);
    EXPECT_EQ(ObjectCreated(int64_t(5), int64_t(5), ra), reinterpret_cast<int64_t>(ra->handle));

    EXPECT_EQ(ObjectLookup(table, a)->payload, 1);
    EXPECT_EQ(ObjectLookup(table, b)->payload, 2);
    EXPECT_EQ(ObjectLookup(table, 123456789), nullptr); // never issued
    EXPECT_EQ(ObjectLookup(table, a + 8), nullptr);

    EXPECT_EQ(ObjectRelease(table, a), 1);
    EXPECT_EQ(ObjectLookup(table, a), nullptr); // stale number refused
    EXPECT_EQ(ObjectRelease(table, a), 0);      // and not freed twice
    EXPECT_EQ(Released, 1);

    // A freed number stays dead even when the allocator hands the same memory
    // to the next record.
    for (int i = 0; i < 50; i++) {
        int64_t again = 0;
        MakeThing(table, -1, 100 + i, &again);
        EXPECT_NE(again, a);
        EXPECT_EQ(ObjectLookup(table, a), nullptr);
        ObjectRelease(table, again);
    }
    Released = 1;

    MakeThing(table, 0, 9, nullptr);
    EXPECT_EQ(ObjectNumbersWhere(table, [](const ThingRecord &r) { return r.payload > 0; }),
              (std::vector<int64_t>{0, b}));
    ObjectReleaseAll(table);
    EXPECT_EQ(Released, 3);
    EXPECT_EQ(ObjectLookup(table, b), nullptr);
    EXPECT_EQ(ObjectLookup(table, 0), nullptr);
}

TEST(ObjectTable, DiscardLeavesNothingBehind) {
    ObjectTable<ThingRecord> table;
    table.releaseRecord = ReleaseThing;
    Released = 0;
    int64_t a = 0;
    ThingRecord *record = ObjectAllocate(table, -1, &a);
    ObjectDiscard(table, record); // creation failed before the handle was set
    EXPECT_TRUE(table.automatic.empty());
    ThingRecord *slot = ObjectAllocate(table, 1, nullptr);
    slot->payload = 5;
    ObjectDiscard(table, slot);
    EXPECT_EQ(table.slots[1]->payload, 0);
    EXPECT_EQ(Released, 0);
}
