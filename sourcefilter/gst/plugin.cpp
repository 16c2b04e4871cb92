// The plugin file libgstzenmiravidsource.so: registers the zenmirasrc element.
#include <gst/gst.h>

#include "zenmirasrc.h"

#define PACKAGE "zenmiravidsource"

static gboolean pluginInit(GstPlugin* plugin) {
    return GST_ELEMENT_REGISTER(zenmirasrc, plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, zenmiravidsource, "Zenmira camera source element",
                  pluginInit, "4.0", "Proprietary", "ZenmiraKelvo", "ZenmiraKelvo")
