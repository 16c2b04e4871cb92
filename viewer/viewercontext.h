// What the pages and panes reach besides their own camera: the cameras, the registry of setting
// rows and the graph (set once it is built, after the pages). Owned by the main frame; GUI thread.
#pragma once

class DevicePool;
class SettingRegistry;
class VideoGraph;

struct ViewerContext {
    DevicePool& pool;
    SettingRegistry& registry;
    VideoGraph* graph = nullptr;
};
