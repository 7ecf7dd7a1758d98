/* The framework's standard edit commands, for menus, accelerators and TEdit. */
#ifndef KESTRIN_FRAMEWORK_EDITCMD_H
#define KESTRIN_FRAMEWORK_EDITCMD_H

/* Plain #defines only: resource scripts include this file too. */
#define CM_EDITUNDO 24321
#define CM_EDITCOPY 24323
#define CM_EDITPASTE 24324
#define CM_EDITCLEAR 24326
#define CM_EDITFINDNEXT 24353 /* no edit handles it; reaches the application */

#endif
