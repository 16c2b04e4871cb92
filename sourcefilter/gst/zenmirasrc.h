// The zenmirasrc element: a thin GObject shell over the source filter.
#pragma once

#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_ZENMIRA_SRC (gst_zenmira_src_get_type())
G_DECLARE_FINAL_TYPE(GstZenmiraSrc, gst_zenmira_src, GST, ZENMIRA_SRC, GstElement)

GST_ELEMENT_REGISTER_DECLARE(zenmirasrc);

G_END_DECLS
