// Render channels (G-buffer) a bitmap can carry besides its colour.
#pragma once

#define BMM_CHAN_NONE 0
#define BMM_CHAN_Z (1 << 0)
#define BMM_CHAN_MTL_ID (1 << 1)
#define BMM_CHAN_NODE_ID (1 << 2)
#define BMM_CHAN_UV (1 << 3)
#define BMM_CHAN_NORMAL (1 << 4)
#define BMM_CHAN_REALPIX (1 << 5)
#define BMM_CHAN_COVERAGE (1 << 6)
#define BMM_CHAN_BG (1 << 7)
#define BMM_CHAN_NODE_RENDER_ID (1 << 8)
#define BMM_CHAN_COLOR (1 << 9)
#define BMM_CHAN_TRANSP (1 << 10)
#define BMM_CHAN_VELOC (1 << 11)
#define BMM_CHAN_WEIGHT (1 << 12)
#define BMM_CHAN_MASK (1 << 13)

// Element types a channel query reports.
#define BMM_CHAN_TYPE_UNKNOWN 0
#define BMM_CHAN_TYPE_1 1
#define BMM_CHAN_TYPE_8 2
#define BMM_CHAN_TYPE_16 3
#define BMM_CHAN_TYPE_32 4
#define BMM_CHAN_TYPE_24 8
#define BMM_CHAN_TYPE_48 5
#define BMM_CHAN_TYPE_64 6
#define BMM_CHAN_TYPE_96 7
