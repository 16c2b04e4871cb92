// The operation order of every interface that crosses the library boundary.
//
// Clients compiled separately call the library's objects by vtable slot, so an operation moved
// in a header breaks every client built before. Under the Itanium C++ ABI (GCC and Clang on
// Linux) a pointer to a virtual member function holds 1 + the byte offset of its vtable slot;
// reading it gives the slot the header assigns, which is checked against the fixed order.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>

#include "zmcorelib/zmcorelib.h"

namespace {

using namespace ZmCoreLib;

// The vtable slot of a virtual member function; -1 for a non-virtual one.
template <typename Member>
std::ptrdiff_t slotOf(Member member) {
    static_assert(sizeof(Member) == 2 * sizeof(std::ptrdiff_t), "not an Itanium pointer to member");
    std::ptrdiff_t words[2];
    std::memcpy(words, &member, sizeof words);
    if ((words[0] & 1) == 0) return -1;
    return (words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

struct SlotCase {
    const char* operation;
    std::ptrdiff_t slot;
    std::ptrdiff_t expected;
};

// clang-format off
#define ZM_SLOT(Interface, Operation, expected) \
    SlotCase{#Interface "::" #Operation, slotOf(&Interface::Operation), expected}
// clang-format on

const SlotCase kSlots[] = {
    ZM_SLOT(IPair, GetKey, 0),
    ZM_SLOT(IPair, GetName, 1),
    ZM_SLOT(IPairIterator, First, 0),
    ZM_SLOT(IPairIterator, IsDone, 1),
    ZM_SLOT(IPairIterator, Next, 2),
    ZM_SLOT(IPairIterator, Release, 3),
    ZM_SLOT(IPairIterator, Current, 4),
    ZM_SLOT(IEnvironment, GetDeviceNames, 0),
    ZM_SLOT(IEnvironment, GetDeviceCreator, 1),
    ZM_SLOT(IDeviceCreator, GetSettings, 0),
    ZM_SLOT(IDeviceCreator, CreateDevice, 1),
    ZM_SLOT(IDevice, Open, 0),
    ZM_SLOT(IDevice, Close, 1),
    ZM_SLOT(IDevice, GetSettings, 2),
    ZM_SLOT(IDevice, FindSetting, 3),
    ZM_SLOT(IDevice, GetFrameBuffer, 4),
    ZM_SLOT(IDevice, Start, 5),
    ZM_SLOT(IDevice, Stop, 6),
    ZM_SLOT(IDevice, SoftwareStart, 7),
    ZM_SLOT(ISetting, GetId, 0),
    ZM_SLOT(ISetting, GetType, 1),
    ZM_SLOT(ISetting, GetGroup, 2),
    ZM_SLOT(ISetting, GetName, 3),
    ZM_SLOT(ISetting, GetHint, 4),
    ZM_SLOT(ISetting, GetDescription, 5),
    ZM_SLOT(ISetting, IsEnabled, 6),
    ZM_SLOT(ISetting, GetEnum, 7),
    ZM_SLOT(ISetting, GetRect, 8),
    ZM_SLOT(ISetting, GetScalar, 9),
    ZM_SLOT(ISetting, GetString, 10),
    ZM_SLOT(ISetting, AddObserver, 11),
    ZM_SLOT(ISetting, RemoveObserver, 12),
    ZM_SLOT(ISettingNotify, Notify, 0),
    ZM_SLOT(ISettingObserver, OnSettingChanged, 0),
    ZM_SLOT(ISettingEnum, GetItems, 0),
    ZM_SLOT(ISettingEnum, GetValue, 1),
    ZM_SLOT(ISettingEnum, SetValue, 2),
    ZM_SLOT(ISettingEnumTuner, SetItems, 0),
    ZM_SLOT(ISettingEnumTuner, AddItem, 1),
    ZM_SLOT(ISettingScalar, GetUnits, 0),
    ZM_SLOT(ISettingScalar, GetValue, 1),
    ZM_SLOT(ISettingScalar, GetLastChange, 2),
    ZM_SLOT(ISettingScalar, GetUnit, 3),
    ZM_SLOT(ISettingScalar, SetValue, 4),
    ZM_SLOT(ISettingScalar, Shift, 5),
    ZM_SLOT(ISettingScalar, SetUnit, 6),
    ZM_SLOT(ISettingScalar, GetMin, 7),
    ZM_SLOT(ISettingScalar, GetMax, 8),
    ZM_SLOT(ISettingScalarTuner, Reserved0, 0),
    ZM_SLOT(ISettingScalarTuner, AddUnit, 1),
    ZM_SLOT(ISettingScalarTuner, SetMin, 2),
    ZM_SLOT(ISettingScalarTuner, SetMax, 3),
    ZM_SLOT(ISettingRect, GetRect, 0),
    ZM_SLOT(ISettingRect, SetRectRaw, 1),
    ZM_SLOT(ISettingRect, GetFullSize, 2),
    ZM_SLOT(ISettingRect, GetFreeSize, 3),
    ZM_SLOT(ISettingRect, IsLocked, 4),
    ZM_SLOT(ISettingRect, IsHorizontalFixed, 5),
    ZM_SLOT(ISettingRect, IsVerticalFixed, 6),
    ZM_SLOT(ISettingRect, SetLocked, 7),
    ZM_SLOT(ISettingRect, SetHorizontalFixed, 8),
    ZM_SLOT(ISettingRect, SetVerticalFixed, 9),
    ZM_SLOT(ISettingRect, GetX, 10),
    ZM_SLOT(ISettingRect, GetY, 11),
    ZM_SLOT(ISettingRect, GetWidth, 12),
    ZM_SLOT(ISettingRect, GetHeight, 13),
    ZM_SLOT(ISettingRect, SetX, 14),
    ZM_SLOT(ISettingRect, SetY, 15),
    ZM_SLOT(ISettingRect, SetWidth, 16),
    ZM_SLOT(ISettingRect, SetHeight, 17),
    ZM_SLOT(ISettingRectTuner, SetMinimum, 0),
    ZM_SLOT(ISettingRectTuner, SetMaximum, 1),
    ZM_SLOT(ISettingString, GetValue, 0),
    ZM_SLOT(ISettingIterator, First, 0),
    ZM_SLOT(ISettingIterator, IsDone, 1),
    ZM_SLOT(ISettingIterator, Next, 2),
    ZM_SLOT(ISettingIterator, Release, 3),
    ZM_SLOT(ISettingIterator, Current, 4),
    ZM_SLOT(IFrameBuffer, GetSettings, 0),
    ZM_SLOT(IFrameBuffer, GetFrame, 1),
    ZM_SLOT(IFrameBuffer, AddObserver, 2),
    ZM_SLOT(IFrameBuffer, RemoveObserver, 3),
    ZM_SLOT(IFrame, Reserved0, 0),
    ZM_SLOT(IFrame, GetData, 1),
    ZM_SLOT(IFrame, Release, 2),
    ZM_SLOT(IFrame, GetFormat, 3),
    ZM_SLOT(IFrame, SetTag, 4),
    ZM_SLOT(IFrame, GetTag, 5),
    ZM_SLOT(IFrameBufferObserver, OnFrameReady, 0),
    ZM_SLOT(IMemAllocator, Allocate, 0),
    ZM_SLOT(IMemBlock, SetSize, 0),
    ZM_SLOT(IMemBlock, GetSize, 1),
    ZM_SLOT(IMemBlock, GetData, 2),
    ZM_SLOT(IMemBlock, Commit, 3),
};

#undef ZM_SLOT

TEST(InterfaceSlotsTest, EveryOperationKeepsItsSlot) {
    for (const SlotCase& c : kSlots) EXPECT_EQ(c.slot, c.expected) << c.operation;
}

// A destructor slot would move every operation after it and let clients delete library objects.
template <typename... Interfaces>
constexpr bool noneHasAVirtualDestructor = ((std::is_polymorphic_v<Interfaces> &&
                                             !std::has_virtual_destructor_v<Interfaces>)&&...);

static_assert(noneHasAVirtualDestructor<IPair, IPairIterator, IEnvironment, IDeviceCreator, IDevice, ISetting,
                                        ISettingNotify, ISettingObserver, ISettingEnum, ISettingEnumTuner,
                                        ISettingScalar, ISettingScalarTuner, ISettingRect, ISettingRectTuner,
                                        ISettingString, ISettingIterator, IFrameBuffer, IFrame,
                                        IFrameBufferObserver, IMemAllocator, IMemBlock>);

// The reading of slots itself: a call through slot N of a real vtable reaches the operation that
// slotOf() places there.
TEST(InterfaceSlotsTest, SlotReadingMatchesTheCompiledVtable) {
    struct Recorder final : IPairIterator {
        void First() override { called = "First"; }
        bool IsDone() override { return false; }
        void Next() override { called = "Next"; }
        void Release() override { called = "Release"; }
        IPair* Current() override { return nullptr; }
        std::string called;
    } recorder;
    IPairIterator* iterator = &recorder;
    using Slot = void (*)(IPairIterator*);
    Slot* vtable = *reinterpret_cast<Slot**>(iterator);
    vtable[slotOf(&IPairIterator::Release)](iterator);
    EXPECT_EQ(recorder.called, "Release");
    vtable[slotOf(&IPairIterator::First)](iterator);
    EXPECT_EQ(recorder.called, "First");
}

}  // namespace
