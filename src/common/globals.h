#pragma once

// 0 = variant A (transmitter, KPA-650), 1 = variant B (receiver, KPB-650).
// Written only by the variant switch.
extern int g_variant;

// Serial port 1 or 2 (COM1, COM2); 0 until the main frame exists. Written only by the main
// frame, together with the port number of each dialog it owns.
extern int g_portNumber;

enum Variant { kVariantA = 0, kVariantB = 1 };
