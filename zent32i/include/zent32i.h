/*
 * zent32i: numeric graphics routines shared by the TAVI viewer and other callers.
 *
 * A flat C interface over one process-wide set of scale variables. Every routine is
 * single-threaded; call ZT_Set_PB_Scale_Vars before any projection, box test or clip.
 *
 * Conventions
 *   - i32 arguments are int32_t; reals are IEEE doubles (ZT4Patch's cell size is float).
 *   - "by reference" arguments are pointers to the caller's variable.
 *   - Rounding to an integer takes the nearest value, halves to the even neighbour.
 *   - World coordinates are int32 in the caller's units; pixel results are int32.
 *
 * Arrays
 *   Routines that work on whole arrays take a small descriptor: the address of the
 *   first element and the number of elements the caller has room for (capacity).
 *   The library checks every count against the capacities, processes at most what
 *   fits and never writes outside them. A descriptor with a null data pointer or a
 *   negative capacity counts as empty. The library never keeps, reallocates or frees
 *   caller memory.
 */
#ifndef ZENT32I_H
#define ZENT32I_H

#include <stdint.h>

#if defined(ZENT32I_BUILDING)
#define ZT_API __attribute__((visibility("default")))
#else
#define ZT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A world point: one point unit of a drawing, 12 bytes. */
typedef struct ZT_Point3 {
    int32_t x, y, z;
} ZT_Point3;

/* A window pixel, 8 bytes. */
typedef struct ZT_Point2 {
    int32_t x, y;
} ZT_Point2;

/* A sort key of two integers; ordered by `second`, then by `first` (see ZT_SORT_PTS). */
typedef struct ZT_KeyPair {
    int32_t first, second;
} ZT_KeyPair;

/* An opaque 40-byte record moved alongside its key by ZT_SORT_PTS. */
typedef struct ZT_Record40 {
    unsigned char bytes[40];
} ZT_Record40;

typedef struct ZT_Point3Array {
    ZT_Point3 *data;
    int32_t capacity;
} ZT_Point3Array;

typedef struct ZT_Point2Array {
    ZT_Point2 *data;
    int32_t capacity;
} ZT_Point2Array;

typedef struct ZT_Int32Array {
    int32_t *data;
    int32_t capacity;
} ZT_Int32Array;

typedef struct ZT_KeyPairArray {
    ZT_KeyPair *data;
    int32_t capacity;
} ZT_KeyPairArray;

typedef struct ZT_Record40Array {
    ZT_Record40 *data;
    int32_t capacity;
} ZT_Record40Array;

/* Strings for ZT_SortString: NUL-terminated; a null element sorts as the empty string.
 * The pointers themselves are reordered, never the characters. */
typedef struct ZT_StringArray {
    const char **data;
    int32_t capacity;
} ZT_StringArray;

/* The caller's drawing surface for ClipWin: the library links to no graphics system,
 * so it hands the finished pixel list to these callbacks. Either may be null. */
typedef struct ZT_DeviceContext {
    void *context;
    void (*polygon)(void *context, const ZT_Point2 *points, int32_t count);
    void (*polyline)(void *context, const ZT_Point2 *points, int32_t count);
} ZT_DeviceContext;

/* The drawing file's code for a polygon object; ClipWin closes and fills these. */
#define ZT_KIND_POLYGON (-14)

/* ---- frame -------------------------------------------------------------------- */

/* Does nothing; calling it makes sure the library is loaded. */
ZT_API void ZT_Ini_Zent32dll(void);

/* ---- projection and scale variables --------------------------------------------- */

/* Sets the view: pixels per world unit, the world window (rounded to integers), the
 * output size, height exaggeration (0 means 1), projection mode (0/1 plan, 2 oblique,
 * 3 perspective, 5 oblique without shrink) and the height datum. centre_x and
 * centre_y are accepted and ignored. */
ZT_API void ZT_Set_PB_Scale_Vars(double scale, double xmin, double ymin, double xmax, double ymax,
                                 int32_t height_units, int32_t width_units, int32_t screen_height,
                                 int32_t screen_width, double exaggeration, int32_t centre_x,
                                 int32_t centre_y, int32_t mode, int32_t datum);

/* Projects one world point in the current mode. An unknown mode leaves *px, *py alone. */
ZT_API void ZT_Calc_3D_xy(int32_t x, int32_t y, int32_t z, int32_t *px, int32_t *py);

/* Projects one world point obliquely, whatever the current mode. */
ZT_API void ZT_Calc_3D_xyIso(int32_t x, int32_t y, int32_t z, int32_t *px, int32_t *py);

/* Sets the oblique view from a screen offset; reports the angles in degrees. When dy is
 * 0 neither output is written. */
ZT_API void Calcisovals(double dx, double dy, double *rotation, double *elevation);

/* Rotation of the oblique view: cos = a / n, sin = b / n. */
ZT_API void CalcRotvals(double a, double b, int32_t n);

ZT_API int32_t ZT_PB_Max(int32_t a, int32_t b);
ZT_API int32_t ZT_PB_Min(int32_t a, int32_t b);

/* ---- planar geometry ------------------------------------------------------------ */

/* 1 when the point lies in the world window (edges included), else 0. */
ZT_API int32_t ZT_INBOX(const int32_t *x, const int32_t *y);

/* Out-codes of a point against the window: one of left / right, plus one of below / above;
 * 0 inside. */
enum { ZT_OUT_ABOVE = 1, ZT_OUT_RIGHT = 2, ZT_OUT_BELOW = 4, ZT_OUT_LEFT = 8 };

/* Out-code of a point against the window. */
ZT_API int32_t ZT_clipBOX(const int32_t *x, const int32_t *y);

/* -1 when the point lies in the world window (edges included), else 0. */
ZT_API int32_t ZT_inside(int32_t x, int32_t y);

/* -1 when segment 1-2 and segment 3-4 cross or touch (collinear counts), else 0. */
ZT_API int32_t SEGMENT_INTERSECT(const int32_t *x1, const int32_t *y1, const int32_t *x2,
                                 const int32_t *y2, const int32_t *x3, const int32_t *y3,
                                 const int32_t *x4, const int32_t *y4);

/* Intersection of the infinite lines 1-2 and 3-4 into *xi, *yi: 0 found, -1 parallel
 * or collinear (outputs untouched). */
ZT_API int32_t LINE_INTERSECTION(const double *x1, const double *y1, const double *x2,
                                 const double *y2, const double *x3, const double *y3,
                                 const double *x4, const double *y4, double *xi, double *yi);

/* Distance from a point to the line through a segment, or 0 when the point lies outside
 * the segment's box grown by tol (or exactly on the line). */
ZT_API double ZT_Lin_Dist(double px, double py, double x1, double y1, double x2, double y2,
                          double tol);

/* Bearing of the vector (a, b) in degrees; also sets the oblique rotation. For a zero
 * vector the previous direction is used. */
ZT_API double CalcBearing(double a, double b);

/* ---- line projection ------------------------------------------------------------ */

/* Projects n world points to pixels, dropping a pixel that repeats the one before it.
 * *count receives the number written; n <= 0 leaves *count alone. At most
 * points->capacity points are read and at most screen->capacity written. */
ZT_API void ZT_CalcLine(const ZT_Point3Array *points, ZT_Point2Array *screen, int32_t n,
                        int32_t *count);

/* ---- window clipping and plotting ------------------------------------------------ */

/* Clips a polygon (kind == ZT_KIND_POLYGON) or polyline of n world points against the
 * world window, projects it into out and, with two points or more, hands it to dc.
 * out should hold 2 * (n - 1) + 1 points (the last for the polygon's closing copy);
 * points beyond its capacity are dropped. *count receives the number of points drawn. */
ZT_API void ClipWin(const ZT_Point3Array *points, ZT_Point2Array *out, int32_t n, int32_t *count,
                    int32_t kind, const ZT_DeviceContext *dc);

/* ---- four-point patch ------------------------------------------------------------- */

/* Projects the four corners of one height-grid cell obliquely, reusing the two corners
 * shared with the previous cell of the same row (mode 0) or column (mode 1) unless
 * first is non-zero. heights and corners must hold four elements, else nothing is done. */
ZT_API void ZT4Patch(int32_t first, int32_t mode, int32_t x, int32_t y, float dx, float dy,
                     const ZT_Int32Array *heights, ZT_Point2Array *corners);

/* ---- polygon processing ----------------------------------------------------------- */

/* Point-in-polygon test and signed area of the ring vertices[0..*n]; vertices[*n] is
 * overwritten with vertices[0]. Adds the area to *area and writes 0/1/3/4 (undecided,
 * outside, boundary, inside) to *result. The spare arguments are not read; the call
 * does nothing when *n < 1 or the array holds fewer than *n + 1 vertices. */
ZT_API void ZT_PolyProcess(ZT_Point3Array *vertices, const int32_t *n, double *area,
                           const void *spare1, const void *spare2, const int32_t *px,
                           const int32_t *py, const void *spare3, int32_t *result);

/* ---- sorting, byte order and bit packing ------------------------------------------- */

/* Sorts keys[0..n-1] ascending by (second, first) as one signed 64-bit value, moving
 * tags[i] with keys[i]. n is limited to both capacities. */
ZT_API void ZT_SORT_PTS(ZT_KeyPairArray *keys, int32_t n, ZT_Record40Array *tags);

/* As ZT_SORT_PTS with 32-bit tags. */
ZT_API void ZT_SortDrawings(ZT_KeyPairArray *keys, int32_t n, ZT_Int32Array *tags);

/* Sorts strings by character code (unsigned bytes), moving tags alongside. */
ZT_API void ZT_SortString(ZT_StringArray *keys, int32_t n, ZT_Int32Array *tags);

/* Reads the first eight bytes of s, most significant first, into two 32-bit halves.
 * length is the number of bytes at s (they may include zero bytes); with fewer than
 * eight, *low and *high are left alone. */
ZT_API void ZT_BigSwap(const char *s, int32_t length, int32_t *low, int32_t *high);

/* *ra = a, *rb = b. */
ZT_API void ZT_WordSwap(int32_t a, int32_t b, int32_t *ra, int32_t *rb);

/* Exchanges two values passed by value: the caller sees no change. */
ZT_API void ZT_SWAP(int32_t a, int32_t b);

/* Writes bits 0..15 of v as '0'/'1' characters, bit 0 first, then a terminating NUL,
 * into s (room for capacity bytes, 17 for the whole text; a smaller buffer receives
 * the leading bits that fit). */
ZT_API void zt_getbit(int32_t v, char *s, int32_t capacity);

/* Copies bits 1-5 of v into *a, bits 6-10 into *b and bits 11-15 into *c, in place;
 * all other bits of a, b and c are kept. */
ZT_API void zt_tobits(int32_t v, int32_t *a, int32_t *b, int32_t *c);

/* ---- palette ------------------------------------------------------------------------- */

/* Writes the 256 drawing colours (r + 256 g + 65536 b) to palette[0..255]. */
ZT_API void ZT_Init_Zent_Palette(int32_t *palette);

/* Splits a colour value into its red, green and blue parts. */
ZT_API void ZT_RGC_to_R_G_B(int32_t colour, int32_t *r, int32_t *g, int32_t *b);

#ifdef __cplusplus
}
#endif

#endif /* ZENT32I_H */
