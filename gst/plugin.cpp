// The plugin "kelmar": one element, kelmarconvert.
#include <gst/gst.h>

#include "kelmar_convert.h"

#ifndef PACKAGE
#define PACKAGE "kelmar"
#endif

static gboolean plugin_init(GstPlugin* plugin) {
  return GST_ELEMENT_REGISTER(kelmarconvert, plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, kelmar,
                  "Colour conversion for display with the Kelmar library", plugin_init,
                  KELMAR_VERSION, GST_LICENSE_UNKNOWN, "kelmar", "https://example.org/kelmar")
