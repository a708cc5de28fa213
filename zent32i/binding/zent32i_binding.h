// The viewer's binding to libzent32i.so. The library is located by the ordinary search
// (programs carry RUNPATH $ORIGIN/../lib) and loaded at the first call of any routine;
// each routine is resolved by name at its own first call and the library stays loaded
// until the program ends. A missing library or routine ends the program with a
// message that names it: the viewer cannot draw anything without them.
//
// Call the routines as zt::ZT_Calc_3D_xy(...) and so on; the signatures and array
// descriptors are those of zent32i.h.
#pragma once

#include <string>

#include "zent32i.h"

namespace zt {

inline constexpr const char *kLibraryName = "libzent32i.so.1";

// Called with the message before the program ends, for a window to show it. It must
// not return control to the failed call; if it returns, the program exits.
using FailureHandler = void (*)(const std::string &message);
void set_failure_handler(FailureHandler handler);

void ZT_Ini_Zent32dll();
void ZT_Set_PB_Scale_Vars(double scale, double xmin, double ymin, double xmax, double ymax,
                          int32_t height_units, int32_t width_units, int32_t screen_height,
                          int32_t screen_width, double exaggeration, int32_t centre_x,
                          int32_t centre_y, int32_t mode, int32_t datum);
void ZT_Calc_3D_xy(int32_t x, int32_t y, int32_t z, int32_t *px, int32_t *py);
void ZT_Calc_3D_xyIso(int32_t x, int32_t y, int32_t z, int32_t *px, int32_t *py);
void Calcisovals(double dx, double dy, double *rotation, double *elevation);
void CalcRotvals(double a, double b, int32_t n);
int32_t ZT_PB_Max(int32_t a, int32_t b);
int32_t ZT_PB_Min(int32_t a, int32_t b);
int32_t ZT_INBOX(const int32_t *x, const int32_t *y);
int32_t ZT_clipBOX(const int32_t *x, const int32_t *y);
int32_t ZT_inside(int32_t x, int32_t y);
int32_t SEGMENT_INTERSECT(const int32_t *x1, const int32_t *y1, const int32_t *x2,
                          const int32_t *y2, const int32_t *x3, const int32_t *y3,
                          const int32_t *x4, const int32_t *y4);
int32_t LINE_INTERSECTION(const double *x1, const double *y1, const double *x2, const double *y2,
                          const double *x3, const double *y3, const double *x4, const double *y4,
                          double *xi, double *yi);
double ZT_Lin_Dist(double px, double py, double x1, double y1, double x2, double y2, double tol);
double CalcBearing(double a, double b);
void ZT_CalcLine(const ZT_Point3Array *points, ZT_Point2Array *screen, int32_t n, int32_t *count);
void ClipWin(const ZT_Point3Array *points, ZT_Point2Array *out, int32_t n, int32_t *count,
             int32_t kind, const ZT_DeviceContext *dc);
void ZT4Patch(int32_t first, int32_t mode, int32_t x, int32_t y, float dx, float dy,
              const ZT_Int32Array *heights, ZT_Point2Array *corners);
void ZT_PolyProcess(ZT_Point3Array *vertices, const int32_t *n, double *area, const void *spare1,
                    const void *spare2, const int32_t *px, const int32_t *py, const void *spare3,
                    int32_t *result);
void ZT_SORT_PTS(ZT_KeyPairArray *keys, int32_t n, ZT_Record40Array *tags);
void ZT_SortDrawings(ZT_KeyPairArray *keys, int32_t n, ZT_Int32Array *tags);
void ZT_SortString(ZT_StringArray *keys, int32_t n, ZT_Int32Array *tags);
void ZT_BigSwap(const char *s, int32_t length, int32_t *low, int32_t *high);
void ZT_WordSwap(int32_t a, int32_t b, int32_t *ra, int32_t *rb);
void ZT_SWAP(int32_t a, int32_t b);
void zt_getbit(int32_t v, char *s, int32_t capacity);
void zt_tobits(int32_t v, int32_t *a, int32_t *b, int32_t *c);
void ZT_Init_Zent_Palette(int32_t *palette);
void ZT_RGC_to_R_G_B(int32_t colour, int32_t *r, int32_t *g, int32_t *b);

namespace detail {
// Loads a library by name, or ends the program naming it. Exposed for tests.
void *open_library(const char *name);
// Resolves a routine of a loaded library, or ends the program naming both.
void *resolve(void *handle, const char *library, const char *routine);
} // namespace detail

} // namespace zt
