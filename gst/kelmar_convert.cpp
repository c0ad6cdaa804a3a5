// The element: caps, properties and the frame hand-over to FrameConverter.
//
// The display adjustments live in the library once per process, so the
// element's brightness, contrast, saturation and balance properties are one
// setting shared by every kelmarconvert in the process: setting one on any
// element changes what all of them draw, and reading one gives the shared
// value.
#include "kelmar_convert.h"

#include <kelmar.h>

#include <mutex>
#include <string>

#include "frame_converter.h"
#include "worker_pool.h"

GST_DEBUG_CATEGORY_STATIC(kelmar_convert_debug);
#define GST_CAT_DEFAULT kelmar_convert_debug

namespace {

using kelmargst::FrameConverter;
using kelmargst::OutputFormat;
using kelmargst::WorkerPool;

enum {
  PROP_0,
  PROP_BRIGHTNESS,
  PROP_CONTRAST,
  PROP_SATURATION,
  PROP_BALANCE,
  PROP_N_THREADS,
};

// The process-wide display adjustments, as last given to SetDisplay().
struct SharedDisplay {
  std::mutex mutex;
  gint values[4] = {0, 0, 0, 0};  // brightness, contrast, saturation, balance
};

SharedDisplay& Display() {
  static SharedDisplay display;
  return display;
}

void SetDisplayValue(int index, gint value) {
  SharedDisplay& display = Display();
  const std::lock_guard<std::mutex> lock(display.mutex);
  display.values[index] = value;
  SetDisplay(display.values[0], display.values[1], display.values[2], display.values[3]);
}

gint DisplayValue(int index) {
  SharedDisplay& display = Display();
  const std::lock_guard<std::mutex> lock(display.mutex);
  return display.values[index];
}

constexpr const char* kRgbFormats = "{ BGR, RGB16, RGB15, RGB8P }";
constexpr const char* kPackedFormats = "{ UYVY, YUY2 }";

#define KELMAR_SRC_CAPS GST_VIDEO_CAPS_MAKE("{ BGR, RGB16, RGB15, RGB8P, UYVY, YUY2 }")

GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("I420")));
GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(KELMAR_SRC_CAPS));

}  // namespace

// What the converter was prepared for at the last caps.
struct PreparedFor {
  int width = 0;
  int height = 0;
  OutputFormat format = OutputFormat::kBgr;
  bool limitedRange = false;
  gint threads = 0;
};

struct _KelmarConvert {
  GstVideoFilter parent;
  gint nThreads;  // guarded by the object lock
  FrameConverter* converter;
  WorkerPool* pool;
  PreparedFor* prepared;
};

G_DEFINE_TYPE(KelmarConvert, kelmar_convert, GST_TYPE_VIDEO_FILTER)
GST_ELEMENT_REGISTER_DEFINE(kelmarconvert, "kelmarconvert", GST_RANK_NONE, KELMAR_TYPE_CONVERT)

namespace {

// Every BT.601 colorimetry the sink takes, full range first: the library
// reads full range, so an upstream converter that can choose produces it.
GValue AcceptedColorimetries() {
  GValue list = G_VALUE_INIT;
  gst_value_list_init(&list, 0);
  const GstVideoColorRange ranges[] = {GST_VIDEO_COLOR_RANGE_0_255, GST_VIDEO_COLOR_RANGE_16_235};
  const GstVideoTransferFunction transfers[] = {GST_VIDEO_TRANSFER_BT601, GST_VIDEO_TRANSFER_BT709,
                                                GST_VIDEO_TRANSFER_UNKNOWN};
  const GstVideoColorPrimaries primaries[] = {
      GST_VIDEO_COLOR_PRIMARIES_SMPTE170M, GST_VIDEO_COLOR_PRIMARIES_BT470BG,
      GST_VIDEO_COLOR_PRIMARIES_BT470M, GST_VIDEO_COLOR_PRIMARIES_BT709,
      GST_VIDEO_COLOR_PRIMARIES_UNKNOWN};
  for (GstVideoColorRange range : ranges) {
    for (GstVideoTransferFunction transfer : transfers) {
      for (GstVideoColorPrimaries primary : primaries) {
        const GstVideoColorimetry colorimetry = {range, GST_VIDEO_COLOR_MATRIX_BT601, transfer,
                                                 primary};
        GValue item = G_VALUE_INIT;
        g_value_init(&item, G_TYPE_STRING);
        g_value_take_string(&item, gst_video_colorimetry_to_string(&colorimetry));
        gst_value_list_append_and_take_value(&list, &item);
      }
    }
  }
  return list;
}

bool IsPackedFormatName(const char* format) {
  return format && (g_str_equal(format, "UYVY") || g_str_equal(format, "YUY2"));
}

// The fields both sides share: size, frame rate, pixel aspect ratio.
GstStructure* CopyGeometry(const GstStructure* from) {
  GstStructure* to = gst_structure_copy(from);
  gst_structure_remove_fields(to, "format", "colorimetry", "chroma-site", nullptr);
  return to;
}

void SetFormats(GstStructure* s, const char* formats) {
  GValue value = G_VALUE_INIT;
  g_value_init(&value, GST_TYPE_LIST);
  if (gst_value_deserialize(&value, formats)) {
    gst_structure_take_value(s, "format", &value);
  }
}

GstCaps* SinkToSrcCaps(GstCaps* caps) {
  GstCaps* result = gst_caps_new_empty();
  for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
    const GstStructure* in = gst_caps_get_structure(caps, i);
    GstStructure* rgb = CopyGeometry(in);
    SetFormats(rgb, kRgbFormats);
    result = gst_caps_merge_structure(result, rgb);
    // The packed layouts copy the samples: their range is the input's.
    GstStructure* packed = CopyGeometry(in);
    SetFormats(packed, kPackedFormats);
    if (const GValue* colorimetry = gst_structure_get_value(in, "colorimetry"))
      gst_structure_set_value(packed, "colorimetry", colorimetry);
    result = gst_caps_merge_structure(result, packed);
  }
  return result;
}

GstCaps* SrcToSinkCaps(GstCaps* caps) {
  GstCaps* result = gst_caps_new_empty();
  GValue accepted = AcceptedColorimetries();
  for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
    const GstStructure* in = gst_caps_get_structure(caps, i);
    GstStructure* sink = CopyGeometry(in);
    gst_structure_set(sink, "format", G_TYPE_STRING, "I420", nullptr);
    const GValue* format = gst_structure_get_value(in, "format");
    const GValue* colorimetry = gst_structure_get_value(in, "colorimetry");
    const bool onlyPacked =
        format && G_VALUE_HOLDS_STRING(format) && IsPackedFormatName(g_value_get_string(format));
    GValue narrowed = G_VALUE_INIT;
    if (onlyPacked && colorimetry && gst_value_intersect(&narrowed, colorimetry, &accepted)) {
      gst_structure_take_value(sink, "colorimetry", &narrowed);
    } else {
      gst_structure_set_value(sink, "colorimetry", &accepted);
    }
    result = gst_caps_merge_structure(result, sink);
  }
  g_value_unset(&accepted);
  return result;
}

GstCaps* kelmar_convert_transform_caps(GstBaseTransform* trans, GstPadDirection direction,
                                       GstCaps* caps, GstCaps* filter) {
  GstCaps* result = direction == GST_PAD_SINK ? SinkToSrcCaps(caps) : SrcToSinkCaps(caps);
  if (filter) {
    GstCaps* filtered = gst_caps_intersect_full(filter, result, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(result);
    result = filtered;
  }
  GST_DEBUG_OBJECT(trans, "%s caps %" GST_PTR_FORMAT " -> %" GST_PTR_FORMAT,
                   direction == GST_PAD_SINK ? "sink" : "src", caps, result);
  return result;
}

// The part of `caps` with the first format `peer` lists that `caps` holds,
// in the peer's order also within a list of formats; null when they share
// none.
GstCaps* FirstSharedFormat(GstCaps* peer, GstCaps* caps) {
  for (guint i = 0; i < gst_caps_get_size(peer); ++i) {
    GstCaps* one = gst_caps_copy_nth(peer, i);
    GstStructure* s = gst_caps_get_structure(one, 0);
    const GValue* formats = gst_structure_get_value(s, "format");
    const guint count =
        formats && GST_VALUE_HOLDS_LIST(formats) ? gst_value_list_get_size(formats) : 1;
    for (guint f = 0; f < count; ++f) {
      GstCaps* candidate = gst_caps_copy(one);
      if (count > 1) {
        gst_structure_set_value(gst_caps_get_structure(candidate, 0), "format",
                                gst_value_list_get_value(formats, f));
      }
      GstCaps* shared = gst_caps_intersect_full(candidate, caps, GST_CAPS_INTERSECT_FIRST);
      gst_caps_unref(candidate);
      if (!gst_caps_is_empty(shared)) {
        gst_caps_unref(one);
        return shared;
      }
      gst_caps_unref(shared);
    }
    gst_caps_unref(one);
  }
  return nullptr;
}

// The output format downstream lists first among those possible.
GstCaps* kelmar_convert_fixate_caps(GstBaseTransform* trans, GstPadDirection direction,
                                    GstCaps* caps, GstCaps* othercaps) {
  if (direction == GST_PAD_SINK) {
    GstCaps* peer = gst_pad_peer_query_caps(GST_BASE_TRANSFORM_SRC_PAD(trans), nullptr);
    if (peer) {
      if (GstCaps* preferred = FirstSharedFormat(peer, othercaps)) {
        gst_caps_unref(othercaps);
        othercaps = preferred;
      }
      gst_caps_unref(peer);
    }
  }
  othercaps = gst_caps_make_writable(othercaps);
  // Same size as the input where the choice is open.
  if (direction == GST_PAD_SINK) {
    const GstStructure* in = gst_caps_get_structure(caps, 0);
    othercaps = gst_caps_truncate(othercaps);
    GstStructure* out = gst_caps_get_structure(othercaps, 0);
    gint value;
    if (gst_structure_get_int(in, "width", &value))
      gst_structure_fixate_field_nearest_int(out, "width", value);
    if (gst_structure_get_int(in, "height", &value))
      gst_structure_fixate_field_nearest_int(out, "height", value);
  }
  return gst_caps_fixate(othercaps);
}

bool OutputFormatOf(GstVideoFormat format, OutputFormat* out) {
  switch (format) {
    case GST_VIDEO_FORMAT_BGR: *out = OutputFormat::kBgr; return true;
    case GST_VIDEO_FORMAT_RGB15: *out = OutputFormat::kRgb15; return true;
    case GST_VIDEO_FORMAT_RGB16: *out = OutputFormat::kRgb16; return true;
    case GST_VIDEO_FORMAT_RGB8P: *out = OutputFormat::kRgb8p; return true;
    case GST_VIDEO_FORMAT_UYVY: *out = OutputFormat::kUyvy; return true;
    case GST_VIDEO_FORMAT_YUY2: *out = OutputFormat::kYuy2; return true;
    default: return false;
  }
}

gint DefaultThreads() { return static_cast<gint>(MIN(g_get_num_processors(), 64u)); }

gint ThreadsWanted(KelmarConvert* self) {
  GST_OBJECT_LOCK(self);
  const gint threads = self->nThreads;
  GST_OBJECT_UNLOCK(self);
  return threads;
}

// Sizes the scratch pictures and bands, and starts the threads, for the
// prepared caps and the wanted thread count; an error on the bus if not.
bool PrepareConverter(KelmarConvert* self) {
  PreparedFor& p = *self->prepared;
  p.threads = ThreadsWanted(self);
  std::string error;
  if (!self->converter->Prepare(p.width, p.height, p.format, p.limitedRange, p.threads, &error)) {
    GST_ELEMENT_ERROR(self, RESOURCE, NO_SPACE_LEFT, ("%s", error.c_str()), (nullptr));
    return false;
  }
  if (!self->pool || self->pool->threads() != p.threads) {
    delete self->pool;
    self->pool = nullptr;
    try {
      self->pool = new WorkerPool(p.threads);
    } catch (const std::exception& e) {
      GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("kelmarconvert cannot start its threads"),
                        ("%s", e.what()));
      return false;
    }
  }
  return true;
}

gboolean kelmar_convert_set_info(GstVideoFilter* filter, GstCaps* incaps, GstVideoInfo* in_info,
                                 GstCaps* /*outcaps*/, GstVideoInfo* out_info) {
  KelmarConvert* self = KELMAR_CONVERT(filter);
  OutputFormat format;
  if (GST_VIDEO_INFO_FORMAT(in_info) != GST_VIDEO_FORMAT_I420 ||
      !OutputFormatOf(GST_VIDEO_INFO_FORMAT(out_info), &format)) {
    GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("kelmarconvert cannot convert these caps"),
                      ("%s to %s", gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(in_info)),
                       gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(out_info))));
    return FALSE;
  }
  if (GST_VIDEO_INFO_WIDTH(in_info) != GST_VIDEO_INFO_WIDTH(out_info) ||
      GST_VIDEO_INFO_HEIGHT(in_info) != GST_VIDEO_INFO_HEIGHT(out_info)) {
    GST_ELEMENT_ERROR(
        self, CORE, NEGOTIATION, ("kelmarconvert does not scale"),
        ("%dx%d to %dx%d", GST_VIDEO_INFO_WIDTH(in_info), GST_VIDEO_INFO_HEIGHT(in_info),
         GST_VIDEO_INFO_WIDTH(out_info), GST_VIDEO_INFO_HEIGHT(out_info)));
    return FALSE;
  }
  // Without a colorimetry in the caps the input is read as GStreamer reads
  // untagged YUV: limited range (and BT.601 whatever the size).
  const GstStructure* s = gst_caps_get_structure(incaps, 0);
  const bool stated = gst_structure_has_field(s, "colorimetry");
  const GstVideoColorimetry& colorimetry = in_info->colorimetry;
  if (stated && colorimetry.matrix != GST_VIDEO_COLOR_MATRIX_BT601) {
    GST_ELEMENT_ERROR(self, CORE, NEGOTIATION,
                      ("kelmarconvert reads BT.601 only; put videoconvert before it"),
                      ("colorimetry %s", gst_structure_get_string(s, "colorimetry")));
    return FALSE;
  }
  const bool limited = colorimetry.range != GST_VIDEO_COLOR_RANGE_0_255;

  *self->prepared = {GST_VIDEO_INFO_WIDTH(in_info), GST_VIDEO_INFO_HEIGHT(in_info), format, limited,
                     0};
  if (!PrepareConverter(self)) return FALSE;
  GST_DEBUG_OBJECT(self, "%dx%d %s, %s range, %d bands", GST_VIDEO_INFO_WIDTH(in_info),
                   GST_VIDEO_INFO_HEIGHT(in_info),
                   gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(out_info)),
                   limited ? "limited" : "full", self->converter->bands());
  return TRUE;
}

GstFlowReturn kelmar_convert_transform_frame(GstVideoFilter* filter, GstVideoFrame* in,
                                             GstVideoFrame* out) {
  KelmarConvert* self = KELMAR_CONVERT(filter);
  // A new thread count lays the bands out again, once.
  if (ThreadsWanted(self) != self->prepared->threads && !PrepareConverter(self))
    return GST_FLOW_ERROR;
  kelmargst::InputFrame input;
  for (int p = 0; p < 3; ++p) {
    input.planes[p] = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(in, p));
    input.strides[p] = GST_VIDEO_FRAME_PLANE_STRIDE(in, p);
  }
  kelmargst::OutputFrame output;
  output.pixels = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(out, 0));
  output.stride = GST_VIDEO_FRAME_PLANE_STRIDE(out, 0);
  output.palette = GST_VIDEO_FRAME_FORMAT(out) == GST_VIDEO_FORMAT_RGB8P
                       ? static_cast<uint32_t*>(GST_VIDEO_FRAME_PLANE_DATA(out, 1))
                       : nullptr;
  if (!self->converter->Convert(input, output, self->pool)) {
    GST_ELEMENT_ERROR(self, STREAM, FAILED, ("the library refused the output layout"), (nullptr));
    return GST_FLOW_ERROR;
  }
  return GST_FLOW_OK;
}

void kelmar_convert_set_property(GObject* object, guint prop_id, const GValue* value,
                                 GParamSpec* pspec) {
  KelmarConvert* self = KELMAR_CONVERT(object);
  switch (prop_id) {
    case PROP_BRIGHTNESS:
    case PROP_CONTRAST:
    case PROP_SATURATION:
    case PROP_BALANCE: SetDisplayValue(prop_id - PROP_BRIGHTNESS, g_value_get_int(value)); break;
    case PROP_N_THREADS:
      GST_OBJECT_LOCK(self);
      self->nThreads = g_value_get_int(value) > 0 ? g_value_get_int(value) : DefaultThreads();
      GST_OBJECT_UNLOCK(self);
      break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop_id, pspec); break;
  }
}

void kelmar_convert_get_property(GObject* object, guint prop_id, GValue* value, GParamSpec* pspec) {
  KelmarConvert* self = KELMAR_CONVERT(object);
  switch (prop_id) {
    case PROP_BRIGHTNESS:
    case PROP_CONTRAST:
    case PROP_SATURATION:
    case PROP_BALANCE: g_value_set_int(value, DisplayValue(prop_id - PROP_BRIGHTNESS)); break;
    case PROP_N_THREADS:
      GST_OBJECT_LOCK(self);
      g_value_set_int(value, self->nThreads);
      GST_OBJECT_UNLOCK(self);
      break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop_id, pspec); break;
  }
}

void kelmar_convert_finalize(GObject* object) {
  KelmarConvert* self = KELMAR_CONVERT(object);
  delete self->pool;
  delete self->converter;
  delete self->prepared;
  G_OBJECT_CLASS(kelmar_convert_parent_class)->finalize(object);
}

void InstallDisplayProperty(GObjectClass* klass, guint id, const char* name, const char* blurb) {
  g_object_class_install_property(
      klass, id,
      g_param_spec_int(name, name, blurb, G_MININT32, G_MAXINT32, 0,
                       static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                GST_PARAM_MUTABLE_PLAYING)));
}

}  // namespace

static void kelmar_convert_class_init(KelmarConvertClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  GstBaseTransformClass* transform_class = GST_BASE_TRANSFORM_CLASS(klass);
  GstVideoFilterClass* filter_class = GST_VIDEO_FILTER_CLASS(klass);

  object_class->set_property = kelmar_convert_set_property;
  object_class->get_property = kelmar_convert_get_property;
  object_class->finalize = kelmar_convert_finalize;

  InstallDisplayProperty(object_class, PROP_BRIGHTNESS, "brightness",
                         "Brightness, 10 output levels per unit; shared by every kelmarconvert "
                         "in the process");
  InstallDisplayProperty(object_class, PROP_CONTRAST, "contrast",
                         "Contrast, 5 % per unit; shared by every kelmarconvert in the process");
  InstallDisplayProperty(object_class, PROP_SATURATION, "saturation",
                         "Saturation, 10 % per unit; shared by every kelmarconvert in the process");
  InstallDisplayProperty(object_class, PROP_BALANCE, "balance",
                         "U/V balance (UYVY and YUY2 only); shared by every kelmarconvert in the "
                         "process");
  g_object_class_install_property(
      object_class, PROP_N_THREADS,
      g_param_spec_int("n-threads", "Threads",
                       "Threads converting bands of each picture (0: one per processor)", 0, 64,
                       DefaultThreads(),
                       static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                GST_PARAM_MUTABLE_PLAYING)));

  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(
      element_class, "Kelmar colour converter", "Filter/Converter/Video",
      "Converts I420 (BT.601) into BGR, RGB15, RGB16, RGB8P, UYVY or YUY2 with the Kelmar library",
      "Kelmar developers <kelmar@example.org>");

  transform_class->transform_caps = kelmar_convert_transform_caps;
  transform_class->fixate_caps = kelmar_convert_fixate_caps;
  transform_class->passthrough_on_same_caps = FALSE;
  filter_class->set_info = kelmar_convert_set_info;
  filter_class->transform_frame = kelmar_convert_transform_frame;

  GST_DEBUG_CATEGORY_INIT(kelmar_convert_debug, "kelmarconvert", 0, "Kelmar colour converter");
}

static void kelmar_convert_init(KelmarConvert* self) {
  self->nThreads = DefaultThreads();
  self->converter = new FrameConverter();
  self->pool = nullptr;
  self->prepared = new PreparedFor();
}
