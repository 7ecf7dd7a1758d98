/* Resource and control ids of the program, shared by kestrin.rc and the code. */
#ifndef KESTRIN_RESOURCE_H
#define KESTRIN_RESOURCE_H

/* Plain #defines only: the resource compiler reads this file too. */

/* Main dialog (the frame's client). */
#define IDD_MAIN 1
#define IDC_STATS 101        /* "&Stats..." */
#define IDC_SETTIME 102      /* "Set &Time", the default button */
#define IDC_SETTZ 103        /* "Set T&Z..." */
#define IDC_NTPSERVER 104    /* edit: time server */
#define IDC_POLLINTERVAL 105 /* edit: initial poll interval, seconds */
#define IDC_MAXDELTA 106     /* edit: maximum delta, milliseconds */
#define IDC_STATUS 109       /* the status line */

/* Statistics dialog: the four counts. */
#define IDD_STATS 3
#define IDC_SENTCOUNT 102
#define IDC_RECEIVEDCOUNT 103
#define IDC_REJECTEDCOUNT 104
#define IDC_BROADCASTCOUNT 105

/* Time-zone dialog. */
#define IDD_TIMEZONE 4
#define IDC_STARTORDINAL 101
#define IDC_STARTWEEKDAY 102
#define IDC_STARTMONTH 103
#define IDC_STARTTIME 104    /* edit: hh:mm */
#define IDC_ENDORDINAL 105
#define IDC_ENDWEEKDAY 106
#define IDC_ENDMONTH 107
#define IDC_ENDTIME 108      /* edit: hh:mm */
#define IDC_STDNAME 109      /* edit: up to 3 characters */
#define IDC_DSTNAME 110      /* edit: up to 3 characters */
#define IDC_UTCOFFSET 111    /* edit: [+|-]hh:mm */

/* About dialog. BWCC shows the bitmaps 1000 and 2000 above the id of its
   bitmap button (IDC_PICTURE). */
#define IDD_ABOUT 22000
#define IDC_VERSIONLINE 22001
#define IDC_COPYRIGHT 22002
#define IDC_SPECIALBUILD 22003
#define IDC_PICTURE 450
#define IDC_ABOUTNOTE 1001   /* stays empty */
#define IDB_PICTURE 1450
#define IDB_PICTURE_DOWN 2450

/* The frame's menu, accelerators, icon and help cursor. */
#define IDM_MAIN 1
#define CM_HELPCONTENTS 24381
#define CM_HELPABOUT 24389
#define IDA_MAIN 100
#define IDI_KESTRIN 1001
#define IDC_HELPCURSOR 24000

#endif
