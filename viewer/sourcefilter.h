// Reaching the source filter's control interfaces from the viewer.
#pragma once

#include "zenmiravidsource/interfaces.h"

// The filter's interface `iid` as `Interface`, or null when the filter is null or lacks it.
template <typename Interface>
Interface* queryFilter(ZenmiraVidSource::IFilterUnknown* filter, const ZenmiraVidSource::Guid& iid) {
    void* object = nullptr;
    if (!filter || !ZenmiraVidSource::succeeded(filter->QueryInterface(iid, &object))) return nullptr;
    return static_cast<Interface*>(object);
}
