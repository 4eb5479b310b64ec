/* Start-up object of every 32-bit Windows module we link, found before the
   toolchain's crtbegin.o (the link passes -B with this object's folder).

   The i686 toolchain unwinds C++ exceptions with DWARF-2 tables and links
   libgcc statically. Its own crtbegin.o registers the module's tables with
   whatever copy of libgcc_s_dw2-1.dll is already loaded in the process (it
   asks GetModuleHandle for it), and with the module's static unwinder only
   when there is none. A browser in which another module loaded that DLL
   would then leave our static unwinder without our tables: every exception
   we throw would end in std::terminate. Here the tables always go to the
   unwinder linked into this module.

   crtend.o, still the toolchain's, calls __gcc_register_frame from its
   constructor and ends the tables with a zero terminator. */

#include <stdlib.h>

/* The static unwinder of libgcc (its frame registry). */
struct object;
void __register_frame_info(const void* begin, struct object* ob);
void* __deregister_frame_info(const void* begin);

void __gcc_register_frame(void);
void __gcc_deregister_frame(void);

/* The first byte of this module's unwind tables: this object comes first
   among the link's .eh_frame contributions after the C runtime's entry
   object, and has no tables of its own (built without unwind tables). */
static const char __EH_FRAME_BEGIN__[] __attribute__((used, section(".eh_frame"), aligned(4))) = {};

/* The registry's record of this module (a struct object of six pointers in
   libgcc 12; room is left for more). */
static void* registered[16];

void __gcc_deregister_frame(void) {
    __deregister_frame_info(__EH_FRAME_BEGIN__);
}

void __gcc_register_frame(void) {
    __register_frame_info(__EH_FRAME_BEGIN__, (struct object*)registered);
    atexit(__gcc_deregister_frame);
}
