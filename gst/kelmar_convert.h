// kelmarconvert: I420 to BGR, RGB15, RGB16, RGB8P, UYVY or YUY2 through the
// library.
#pragma once

#include <gst/video/gstvideofilter.h>

G_BEGIN_DECLS

#define KELMAR_TYPE_CONVERT (kelmar_convert_get_type())
G_DECLARE_FINAL_TYPE(KelmarConvert, kelmar_convert, KELMAR, CONVERT, GstVideoFilter)

GST_ELEMENT_REGISTER_DECLARE(kelmarconvert);

G_END_DECLS
