// Transforms.
#include "matrix3.h"

Matrix3::Matrix3(float (*fp)[3]) {
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            m[row][column] = fp[row][column];
        }
    }
}

void Matrix3::IdentityMatrix() {
    SetRow(0, Point3(1.0f, 0.0f, 0.0f));
    SetRow(1, Point3(0.0f, 1.0f, 0.0f));
    SetRow(2, Point3(0.0f, 0.0f, 1.0f));
    SetRow(3, Point3(0.0f, 0.0f, 0.0f));
}

Point3 VectorTransform(const Matrix3& M, const Point3& V) {
    return M.GetRow(0) * V.x + M.GetRow(1) * V.y + M.GetRow(2) * V.z;
}

Point3 VectorTransform(const Point3& V, const Matrix3& M) {
    return VectorTransform(M, V);
}

Point3 operator*(const Matrix3& A, const Point3& V) {
    return VectorTransform(A, V) + A.GetTrans();
}

Point3 operator*(const Point3& V, const Matrix3& A) {
    return A * V;
}

Matrix3 Inverse(const Matrix3& M) {
    // The rows of the linear part are the images of the axes; its inverse by cofactors,
    // then the translation carried back through it.
    const Point3 a = M.GetRow(0);
    const Point3 b = M.GetRow(1);
    const Point3 c = M.GetRow(2);
    const Point3 bc = CrossProd(b, c);
    const Point3 ca = CrossProd(c, a);
    const Point3 ab = CrossProd(a, b);
    const float determinant = DotProd(a, bc);
    // Columns of the inverse are the cross products divided by the determinant.
    Matrix3 inverse(Point3(bc.x, ca.x, ab.x) / determinant, Point3(bc.y, ca.y, ab.y) / determinant,
                    Point3(bc.z, ca.z, ab.z) / determinant, Point3(0.0f, 0.0f, 0.0f));
    inverse.SetTrans(-VectorTransform(inverse, M.GetTrans()));
    return inverse;
}
