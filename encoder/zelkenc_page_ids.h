// Resource and control ids of the encoder's property page, for its dialog template and code.
#pragma once

#define IDD_ZELKENC_PAGE 101
#define IDS_ZELKENC_PAGE_TITLE 102

#define IDC_QUALITY_TRACKBAR 1001
#define IDC_KEYFRAME_RATE 1002
#define IDC_QUALITY_PERCENT 1003
#define IDC_CODEC_TEXT 1004
#define IDC_VERSION_TEXT 1005
#define IDC_QUALITY_DEFAULT 1006
#define IDC_KEYFRAME_DEFAULT 1007
