#include "VirtualKeys.h"

#include "MouseEvents.h"

#include <windows.h>

#include <array>
#include <cstdint>

namespace FW {

namespace {

struct KeyEntry {
    uint8_t virtualKey;
    KeyCode key;
};

constexpr KeyEntry kKeyEntries[] = {
    {1, Key_LeftButton},    {2, Key_RightButton}, {3, Key_Cancel},       {4, Key_MiddleButton},
    {8, Key_Backspace},     {9, Key_Tab},         {12, Key_Clear},       {13, Key_Return},
    {16, Key_Shift},        {17, Key_Control},    {18, Key_Alt},         {19, Key_Pause},
    {20, Key_CapsLock},     {27, Key_Escape},     {32, Key_Space},       {33, Key_PageUp},
    {34, Key_PageDown},     {35, Key_End},        {36, Key_Home},        {37, Key_Left},
    {38, Key_Up},           {39, Key_Right},      {40, Key_Down},        {41, Key_Select},
    {42, Key_Print},        {43, Key_Execute},    {44, Key_Snapshot},    {45, Key_Insert},
    {46, Key_Delete},       {47, Key_Help},       {91, Key_LeftWindows}, {92, Key_RightWindows},
    {93, Key_Applications}, {96, Key_Numpad0},    {97, Key_Numpad1},     {98, Key_Numpad2},
    {99, Key_Numpad3},      {100, Key_Numpad4},   {101, Key_Numpad5},    {102, Key_Numpad6},
    {103, Key_Numpad7},     {104, Key_Numpad8},   {105, Key_Numpad9},    {106, Key_Multiply},
    {107, Key_Add},         {108, Key_Separator}, {109, Key_Subtract},   {110, Key_Decimal},
    {111, Key_Divide},      {112, Key_F1},        {113, Key_F2},         {114, Key_F3},
    {115, Key_F4},          {116, Key_F5},        {117, Key_F6},         {118, Key_F7},
    {119, Key_F8},          {120, Key_F9},        {121, Key_F10},        {122, Key_F11},
    {123, Key_F12},         {124, Key_F13},       {125, Key_F14},        {126, Key_F15},
    {127, Key_F16},         {128, Key_F17},       {129, Key_F18},        {130, Key_F19},
    {131, Key_F20},         {132, Key_F21},       {133, Key_F22},        {144, Key_NumLock},
    {145, Key_ScrollLock},
};

// Every key message goes through here: a direct table indexed by the code.
constexpr std::array<KeyCode, 256> makeKeyTable() {
    std::array<KeyCode, 256> table{};
    for (auto& key : table)
        key = Key_Unknown;
    for (const KeyEntry& entry : kKeyEntries)
        table[entry.virtualKey] = entry.key;
    return table;
}

constexpr std::array<KeyCode, 256> kKeyTable = makeKeyTable();

} // namespace

KeyCode translateVirtualKey(unsigned int virtualKey) {
    return virtualKey < kKeyTable.size() ? kKeyTable[virtualKey] : Key_Unknown;
}

unsigned int keyboardModifiers() {
    unsigned int modifiers = ModifierState_None;
    if (GetKeyState(VK_SHIFT) & 0x8000)
        modifiers |= ModifierState_Shift;
    if (GetKeyState(VK_CONTROL) & 0x8000)
        modifiers |= ModifierState_Control;
    if (GetKeyState(VK_MENU) & 0x8000)
        modifiers |= ModifierState_Alt;
    return modifiers;
}

} // namespace FW
