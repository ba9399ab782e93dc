// The host's transforms: 4 rows of 3 floats. Points are row vectors: a point p becomes
// p.x * row 0 + p.y * row 1 + p.z * row 2 + row 3, so rows 0 to 2 hold the images of the
// axes and row 3 the translation.
#pragma once

#include "maxheap.h"
#include "point3.h"
#include "utilexp.h"

typedef float MRow[3];

class Matrix3 : public MaxHeapOperators {
public:
    // Leaves the values undefined, as the host's does.
    Matrix3() = default;
    // Copies 4 rows of 3 floats.
    GeomExport Matrix3(float (*fp)[3]);
    Matrix3(const Point3& U, const Point3& V, const Point3& N, const Point3& T) {
        SetRow(0, U);
        SetRow(1, V);
        SetRow(2, N);
        SetRow(3, T);
    }

    GeomExport void IdentityMatrix();
    void SetRow(int i, const Point3& p) {
        m[i][0] = p.x;
        m[i][1] = p.y;
        m[i][2] = p.z;
    }
    Point3 GetRow(int i) const { return Point3(m[i][0], m[i][1], m[i][2]); }
    void SetTrans(const Point3& p) { SetRow(3, p); }
    Point3 GetTrans() const { return GetRow(3); }
    MRow* GetAddr() { return m; }
    const MRow* GetAddr() const { return m; }

private:
    float m[4][3];
};

// The point transformed by the whole matrix.
GeomExport Point3 operator*(const Matrix3& A, const Point3& V);
GeomExport Point3 operator*(const Point3& V, const Matrix3& A);
// The vector transformed by the rotation and scale rows only, without the translation.
GeomExport Point3 VectorTransform(const Matrix3& M, const Point3& V);
GeomExport Point3 VectorTransform(const Point3& V, const Matrix3& M);
// The inverse of an invertible affine transform.
GeomExport Matrix3 Inverse(const Matrix3& M);
