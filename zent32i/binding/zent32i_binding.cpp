#include "zent32i_binding.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace zt {
namespace {

FailureHandler g_failure_handler = nullptr;
void *g_handle = nullptr; // never closed: the library lives as long as the program

[[noreturn]] void fail(const std::string &message) {
    std::fprintf(stderr, "tavi: %s\n", message.c_str());
    std::fflush(stderr);
    if (g_failure_handler)
        g_failure_handler(message);
    std::exit(EXIT_FAILURE);
}

void *library() {
    if (g_handle == nullptr)
        g_handle = detail::open_library(kLibraryName);
    return g_handle;
}

template <class Fn> Fn lookup(const char *routine) {
    return reinterpret_cast<Fn>(detail::resolve(library(), kLibraryName, routine));
}

} // namespace

void set_failure_handler(FailureHandler handler) {
    g_failure_handler = handler;
}

namespace detail {

void *open_library(const char *name) {
    void *handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *why = dlerror();
        fail(std::string("cannot load the graphics library ") + name + ": " +
             (why ? why : "not found"));
    }
    return handle;
}

void *resolve(void *handle, const char *lib, const char *routine) {
    dlerror();
    void *sym = dlsym(handle, routine);
    if (sym == nullptr)
        fail(std::string("the graphics library ") + lib + " has no routine " + routine);
    return sym;
}

} // namespace detail

// Each routine starts out pointing at a stub that resolves the real address, stores
// it and makes the call; later calls go straight through the pointer.
#define ZT_BIND(ret, name, params, args)                                                           \
    namespace {                                                                                    \
    using name##_fn = decltype(&::name);                                                           \
    ret name##_first params;                                                                       \
    name##_fn name##_ptr = &name##_first;                                                          \
    ret name##_first params {                                                                      \
        name##_ptr = lookup<name##_fn>(#name);                                                     \
        return name##_ptr args;                                                                    \
    }                                                                                              \
    }                                                                                              \
    ret name params {                                                                              \
        return name##_ptr args;                                                                    \
    }

ZT_BIND(void, ZT_Ini_Zent32dll, (), ())
ZT_BIND(void, ZT_Set_PB_Scale_Vars,
        (double scale, double xmin, double ymin, double xmax, double ymax, int32_t hu, int32_t wu,
         int32_t sh, int32_t sw, double ex, int32_t cx, int32_t cy, int32_t mode, int32_t datum),
        (scale, xmin, ymin, xmax, ymax, hu, wu, sh, sw, ex, cx, cy, mode, datum))
ZT_BIND(void, ZT_Calc_3D_xy, (int32_t x, int32_t y, int32_t z, int32_t *px, int32_t *py),
        (x, y, z, px, py))
ZT_BIND(void, ZT_Calc_3D_xyIso, (int32_t x, int32_t y, int32_t z, int32_t *px, int32_t *py),
        (x, y, z, px, py))
ZT_BIND(void, Calcisovals, (double dx, double dy, double *r, double *e), (dx, dy, r, e))
ZT_BIND(void, CalcRotvals, (double a, double b, int32_t n), (a, b, n))
ZT_BIND(int32_t, ZT_PB_Max, (int32_t a, int32_t b), (a, b))
ZT_BIND(int32_t, ZT_PB_Min, (int32_t a, int32_t b), (a, b))
ZT_BIND(int32_t, ZT_INBOX, (const int32_t *x, const int32_t *y), (x, y))
ZT_BIND(int32_t, ZT_clipBOX, (const int32_t *x, const int32_t *y), (x, y))
ZT_BIND(int32_t, ZT_inside, (int32_t x, int32_t y), (x, y))
ZT_BIND(int32_t, SEGMENT_INTERSECT,
        (const int32_t *x1, const int32_t *y1, const int32_t *x2, const int32_t *y2,
         const int32_t *x3, const int32_t *y3, const int32_t *x4, const int32_t *y4),
        (x1, y1, x2, y2, x3, y3, x4, y4))
ZT_BIND(int32_t, LINE_INTERSECTION,
        (const double *x1, const double *y1, const double *x2, const double *y2, const double *x3,
         const double *y3, const double *x4, const double *y4, double *xi, double *yi),
        (x1, y1, x2, y2, x3, y3, x4, y4, xi, yi))
ZT_BIND(double, ZT_Lin_Dist,
        (double px, double py, double x1, double y1, double x2, double y2, double tol),
        (px, py, x1, y1, x2, y2, tol))
ZT_BIND(double, CalcBearing, (double a, double b), (a, b))
ZT_BIND(void, ZT_CalcLine,
        (const ZT_Point3Array *points, ZT_Point2Array *screen, int32_t n, int32_t *count),
        (points, screen, n, count))
ZT_BIND(void, ClipWin,
        (const ZT_Point3Array *points, ZT_Point2Array *out, int32_t n, int32_t *count, int32_t kind,
         const ZT_DeviceContext *dc),
        (points, out, n, count, kind, dc))
ZT_BIND(void, ZT4Patch,
        (int32_t first, int32_t mode, int32_t x, int32_t y, float dx, float dy,
         const ZT_Int32Array *heights, ZT_Point2Array *corners),
        (first, mode, x, y, dx, dy, heights, corners))
ZT_BIND(void, ZT_PolyProcess,
        (ZT_Point3Array * v, const int32_t *n, double *area, const void *s1, const void *s2,
         const int32_t *px, const int32_t *py, const void *s3, int32_t *result),
        (v, n, area, s1, s2, px, py, s3, result))
ZT_BIND(void, ZT_SORT_PTS, (ZT_KeyPairArray * keys, int32_t n, ZT_Record40Array *tags),
        (keys, n, tags))
ZT_BIND(void, ZT_SortDrawings, (ZT_KeyPairArray * keys, int32_t n, ZT_Int32Array *tags),
        (keys, n, tags))
ZT_BIND(void, ZT_SortString, (ZT_StringArray * keys, int32_t n, ZT_Int32Array *tags),
        (keys, n, tags))
ZT_BIND(void, ZT_BigSwap, (const char *s, int32_t length, int32_t *low, int32_t *high),
        (s, length, low, high))
ZT_BIND(void, ZT_WordSwap, (int32_t a, int32_t b, int32_t *ra, int32_t *rb), (a, b, ra, rb))
ZT_BIND(void, ZT_SWAP, (int32_t a, int32_t b), (a, b))
ZT_BIND(void, zt_getbit, (int32_t v, char *s, int32_t capacity), (v, s, capacity))
ZT_BIND(void, zt_tobits, (int32_t v, int32_t *a, int32_t *b, int32_t *c), (v, a, b, c))
ZT_BIND(void, ZT_Init_Zent_Palette, (int32_t * palette), (palette))
ZT_BIND(void, ZT_RGC_to_R_G_B, (int32_t colour, int32_t *r, int32_t *g, int32_t *b),
        (colour, r, g, b))

#undef ZT_BIND

} // namespace zt
