// How an application reaches the filter inside the zenmirasrc element.
//
//   void* object = nullptr;
//   g_signal_emit_by_name(element, ZenmiraVidSource::kQueryInterfaceSignal,
//                         &ZenmiraVidSource::IID_IDeviceSource, &object);
//   auto* source = static_cast<ZenmiraVidSource::IDeviceSource*>(object);
//
// The pointer stays valid as long as the element lives. AddDevice makes a "src_%u" pad at once
// (signal "pad-added"); link it before the element goes to PLAYING.
#pragma once

#include "zenmiravidsource/interfaces.h"

namespace ZenmiraVidSource {

inline constexpr char kElementName[] = "zenmirasrc";

// Action signal: gpointer query-interface(const ZenmiraVidSource::Guid* iid); null when the
// element has no such interface.
inline constexpr char kQueryInterfaceSignal[] = "query-interface";

// Element message posted when a pad's stream ended because its picture size changed (the code is
// EC_VIDEO_SIZE_CHANGED, 10, and param1 is (height << 16) | width). Fields: "code" (int),
// "param1" (int), "param2" (int), "pin" (uint), "pad" (string). Answer it by setting the element
// (or its pipeline) to READY or PAUSED and back to PLAYING: the pad then negotiates the new size.
inline constexpr char kGraphEventMessage[] = "zenmirasrc-graph-event";

// A file of a series could not be written: an element WARNING message whose text is the message
// for the user and whose details structure carries "caption" (string), "pin" (uint) and
// "frames-not-saved" (uint): 0 when the warning is about one file, else the number of frames a
// series could not save since its folder stopped taking files (the first of them was warned
// about on its own).
inline constexpr char kSaveErrorCaptionField[] = "caption";
inline constexpr char kFramesNotSavedField[] = "frames-not-saved";

}  // namespace ZenmiraVidSource
