/* Resource ids shared by the resource script and the program code. */
#ifndef VELTRANE_RESOURCE_IDS_H
#define VELTRANE_RESOURCE_IDS_H

/* Application icon group; its images carry the fixed ids 30001 and 30002. */
#define IDI_APP 1

/* Skin picture and the lit pictures of its four buttons. */
#define IDB_SKIN 101
#define IDB_MINBUTIMG 102
#define IDB_MINIMG 103
#define IDB_XIMG 104
#define IDB_OVERIMG 105

/* Hand cursors: the window's hot areas, and the hyperlink control. */
#define IDC_HAND_POINTER 201
#define IDC_LINK_POINTER 202

#endif
