/* Every public header compiled as C: the headers must stay C-clean. The functions below
 * fill records through their named fields from C, so the C++ test can check that the two
 * languages agree on where each field lives. */
#include <string.h>

#include "alg_module.h"
#include "common_data.h"
#include "decoded_frame.h"
#include "hal_module.h"
#include "timer_tool.h"
#include "vendor_export.h"
#include "vendor_layout.h"
#if __has_include("brax_haptics.h")
#include "brax_haptics.h"
#endif

size_t layout_c_size_of(int record);
void layout_c_fill_frame(DecodedFrame *frame);
void layout_c_fill_point(AlgTouchPoint *point);

size_t layout_c_size_of(int record) {
  switch (record) {
    case 0: return sizeof(common_data);
    case 1: return sizeof(timer_tool);
    case 2: return sizeof(DecodedFrame);
    case 3: return sizeof(AlgTouchPoint);
    case 4: return sizeof(AlgHostCallbacks);
    case 5: return sizeof(AlgModule);
    case 6: return sizeof(HalHostCallbacks);
    case 7: return sizeof(HalModule);
    case 8: return sizeof(TouchPanelInfo);
    default: return 0;
  }
}

void layout_c_fill_frame(DecodedFrame *frame) {
  memset(frame, 0, sizeof(*frame));
  frame->frame_count = 0x0102030405060708ull;
  frame->valid_mark = DECODED_FRAME_VALID_MARK;
  frame->ic_frame_count = 0xBEEF;
  frame->tail.sat.mutual_adc_sat = 0xA1B2C3D4u;
  frame->kb_reset_request = 0x77;
  frame->dump_block_size = 0x0A0B0C0D;
}

void layout_c_fill_point(AlgTouchPoint *point) {
  memset(point, 0, sizeof(*point));
  point->x = 0x11;
  point->y = 0x22;
  point->id = 0x33;
  point->action = ALG_TOUCH_ACTION_UP;
}
