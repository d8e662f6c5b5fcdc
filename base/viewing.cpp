#include "base/viewing.h"

#include <utility>

#include "base/window.h"

namespace zorva {

namespace {

constexpr std::pair<int, ViewCommand> kViewKeys[] = {
    {VK_SPACE, ViewCommand::PauseResume},  {VK_K, ViewCommand::PauseResume},
    {VK_OEM_COMMA, ViewCommand::StepBack}, {VK_OEM_PERIOD, ViewCommand::StepForward},
    {VK_LEFT, ViewCommand::Back5s},        {VK_RIGHT, ViewCommand::Forward5s},
    {VK_J, ViewCommand::Back30s},          {VK_L, ViewCommand::Forward30s},
    {VK_DOWN, ViewCommand::Slower},        {VK_OEM_4, ViewCommand::Slower},
    {VK_UP, ViewCommand::Faster},          {VK_OEM_6, ViewCommand::Faster},
    {VK_BACK, ViewCommand::NormalSpeed},   {VK_PRIOR, ViewCommand::PreviousGame},
    {VK_NEXT, ViewCommand::NextGame},      {VK_HOME, ViewCommand::ToStart},
    {VK_END, ViewCommand::ToEnd},
};

constexpr std::pair<unsigned, ViewCommand> kViewButtons[] = {
    {kPadSouth, ViewCommand::PauseResume},     {kPadStart, ViewCommand::PauseResume},
    {kPadLeft, ViewCommand::Back5s},           {kPadRight, ViewCommand::Forward5s},
    {kPadDown, ViewCommand::Slower},           {kPadUp, ViewCommand::Faster},
    {kPadLeftShoulder, ViewCommand::StepBack}, {kPadRightShoulder, ViewCommand::StepForward},
    {kPadWest, ViewCommand::PreviousGame},     {kPadNorth, ViewCommand::NextGame},
};

template <class Table, class Key>
ViewCommand Find(const Table& table, Key key) {
  for (const auto& [k, command] : table) {
    if (k == key) return command;
  }
  return ViewCommand::None;
}

}  // namespace

ViewCommand ViewCommandOfKey(int vk) { return Find(kViewKeys, vk); }
ViewCommand ViewCommandOfPad(unsigned control) { return Find(kViewButtons, control); }

bool RepeatsWhileHeld(ViewCommand command) {
  switch (command) {
    case ViewCommand::StepBack:
    case ViewCommand::StepForward:
    case ViewCommand::Back5s:
    case ViewCommand::Forward5s:
    case ViewCommand::Back30s:
    case ViewCommand::Forward30s: return true;
    default: return false;
  }
}

const char* SpeedName(int speed) {
  static const char* const kNames[kSpeeds] = {"1/4x", "1/2x", "1x", "2x", "4x", "8x", "16x", "max"};
  return speed >= 0 && speed < kSpeeds ? kNames[speed] : "?";
}

}  // namespace zorva
