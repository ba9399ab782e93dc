// The Python module orvo: Orvo files read by the file library's directory walker, their
// planes handed to NumPy without a copy, and the values the orvo tool derives from them.
#include "docstrings.h"
#include "view_geometry.h"

#include "orvo/format.h"
#include "orvo/panorama.h"
#include "orvo/walker.h"

#include "platform/kernel32.h"
#include "platform/text.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvo_python {

namespace {

// A file that cannot be read, or lacks what was asked of it: raised as orvo.OrvoError with
// the message as its text and the file as its path attribute.
class OrvoFailure : public std::runtime_error {
public:
    OrvoFailure(const std::string& message, std::string path)
        : std::runtime_error(message), path_(std::move(path)) {}
    const std::string& Path() const noexcept { return path_; }

private:
    std::string path_; // as the system's bytes
};

py::object& ErrorType() {
    static py::object type;
    return type;
}

// Text from the library's UTF-8; a byte sequence that is not UTF-8 becomes U+FFFD rather
// than an exception.
py::str Utf8(const std::string& text) {
    PyObject* decoded = PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "replace");
    if (decoded == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(decoded);
}

py::tuple Triple(const Vector3& v) {
    return py::make_tuple(v.x, v.y, v.z);
}

void FreePlane(void* plane) {
    VirtualFree(plane, 0, MEM_RELEASE);
}

// The plane as an array that takes it over: its base is a capsule that frees the page memory
// when the last array looking at it goes. None for a layer the file lacks.
template <typename Sample>
py::object PlaneArray(PagePlane<Sample>& plane, std::vector<py::ssize_t> shape) {
    if (plane.Empty()) {
        return py::none();
    }
    py::capsule owner(plane.Get(), &FreePlane);
    Sample* data = plane.Release(); // the capsule owns it from here on
    return py::array_t<Sample>(std::move(shape), data, owner);
}

std::string Revision(const OrvoWalk& walk) {
    const LayerHeader* colourLayer = nullptr;
    const LayerHeader* idLayer = nullptr;
    for (const WalkedDirectory& directory : walk.directories) {
        if (!directory.hasLayer) {
            continue;
        }
        if (directory.header.kind == KindColour && colourLayer == nullptr) {
            colourLayer = &directory.header;
        } else if (directory.header.kind == KindObjectId && idLayer == nullptr) {
            idLayer = &directory.header;
        }
    }
    // Revision 1.3 numbers its colour layer 1.3 and its id layer 1.1; revision 1.0 numbers
    // every layer 1.0. A depth layer alone is 1.0 in both.
    if (colourLayer != nullptr) {
        return std::to_string(colourLayer->major) + "." + std::to_string(colourLayer->minor);
    }
    if (idLayer != nullptr) {
        return idLayer->minor == 1 ? "1.3" : idLayer->minor == 0 ? "1.0" : "unknown";
    }
    return "1.0 or 1.3";
}

struct Object {
    std::uint16_t id;
    std::string name; // UTF-8
    std::array<std::uint8_t, 3> colour;
};

struct PanoramaRecord {
    PanoramaView view;
    int faceSize;
};

class OrvoFile {
public:
    OrvoFile(OrvoWalk& walk, const std::optional<FaceRolls>& stated)
        : path_(walk.path), revision_(Revision(walk)), width_(int(walk.width)),
          height_(int(walk.height)), bigEndian_(walk.bigEndian) {
        const py::ssize_t h = height_, w = width_;
        SettleRolls(walk, stated);
        colour_ = PlaneArray(walk.colour, {h, w, 3});
        PagePlane<std::uint32_t>& depth = walk.hasPanorama ? walk.panoramaDepth : walk.depth;
        if (!depth.Empty()) {
            codes_ = depth.Get();
        }
        depthCodes_ = PlaneArray(depth, {h, w});
        if (!walk.ids.Empty()) {
            ids_ = walk.ids.Get();
        }
        idArray_ = PlaneArray(walk.ids, {h, w});
        if (walk.hasPanorama) {
            panorama_ = PanoramaRecord{walk.panorama, height_};
        } else if (walk.hasView) {
            view_ = walk.view;
        }
        for (const ObjectEntry& entry : walk.objects) {
            objects_.push_back(
                {entry.id, platform::WideToAnsi(entry.name), {entry.red, entry.green, entry.blue}});
        }
    }

    const std::string& Path() const { return path_; }
    const std::string& RevisionText() const { return revision_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool BigEndian() const { return bigEndian_; }
    const py::object& Colour() const { return colour_; }
    const py::object& DepthCodes() const { return depthCodes_; }
    const py::object& Ids() const { return idArray_; }
    const std::optional<PerspectiveView>& View() const { return view_; }
    const std::optional<PanoramaRecord>& Panorama() const { return panorama_; }
    const std::vector<Object>& Objects() const { return objects_; }
    FaceRolls rolls = UnrolledFaces;

    // Id to the newest record's name.
    std::map<std::uint16_t, std::string> NamesById() const {
        std::map<std::uint16_t, std::string> names;
        for (const Object& object : objects_) {
            names.emplace(object.id, object.name); // newest first, so the newest stays
        }
        return names;
    }

    py::array_t<double> Depth() const {
        const DepthRange range = Range();
        py::array_t<double> out({py::ssize_t(height_), py::ssize_t(width_)});
        double* values = out.mutable_data();
        const std::size_t count = PixelCount();
        {
            py::gil_scoped_release release;
            for (std::size_t i = 0; i < count; ++i) {
                values[i] = codes_[i] == NoDepthCode ? NAN : range.Depth(codes_[i]);
            }
        }
        return out;
    }

    py::array_t<double> Distance(const py::object& rolls) const {
        const ViewGeometry geometry = Geometry(RollsOr(rolls));
        py::array_t<double> out({py::ssize_t(height_), py::ssize_t(width_)});
        double* values = out.mutable_data();
        {
            py::gil_scoped_release release;
            EachPixel(geometry, [&](std::size_t i, double depth, const orvo_python::Ray& ray) {
                values[i] = depth * Length(ray.direction);
            });
        }
        return out;
    }

    py::array_t<double> Points(const py::object& rolls) const {
        const ViewGeometry geometry = Geometry(RollsOr(rolls));
        py::array_t<double> out({py::ssize_t(height_), py::ssize_t(width_), py::ssize_t(3)});
        double* values = out.mutable_data();
        {
            py::gil_scoped_release release;
            EachPixel(geometry, [&](std::size_t i, double depth, const orvo_python::Ray& ray) {
                values[3 * i] = ray.origin.x + depth * ray.direction.x;
                values[3 * i + 1] = ray.origin.y + depth * ray.direction.y;
                values[3 * i + 2] = ray.origin.z + depth * ray.direction.z;
            });
        }
        return out;
    }

    py::tuple Rays(const py::object& x, const py::object& y, const py::object& rolls) const {
        const ViewGeometry geometry = Geometry(RollsOr(rolls));
        const py::module_ np = py::module_::import("numpy");
        const py::tuple both =
            np.attr("broadcast_arrays")(WholeNumbers(x, "x"), WholeNumbers(y, "y"));
        using Indices = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;
        const Indices columns = Indices::ensure(both[0]);
        const Indices rows = Indices::ensure(both[1]);
        std::vector<py::ssize_t> shape(columns.shape(), columns.shape() + columns.ndim());
        shape.push_back(3);
        py::array_t<double> origins(shape), directions(shape);
        const std::int64_t* c = columns.data();
        const std::int64_t* r = rows.data();
        double* o = origins.mutable_data();
        double* d = directions.mutable_data();
        for (py::ssize_t i = 0; i < columns.size(); ++i) {
            if (c[i] < 0 || r[i] < 0 || c[i] >= width_ || r[i] >= height_) {
                throw py::index_error("pixel (" + std::to_string(c[i]) + ", " +
                                      std::to_string(r[i]) + ") lies outside the image of " +
                                      std::to_string(width_) + " x " + std::to_string(height_) +
                                      " pixels");
            }
            const orvo_python::Ray ray = geometry.RayOf(int(c[i]), int(r[i]));
            o[3 * i] = ray.origin.x;
            o[3 * i + 1] = ray.origin.y;
            o[3 * i + 2] = ray.origin.z;
            d[3 * i] = ray.direction.x;
            d[3 * i + 1] = ray.direction.y;
            d[3 * i + 2] = ray.direction.z;
        }
        return py::make_tuple(origins, directions);
    }

    // Where directions meet the panorama: pixels of the strip, or positions within the faces.
    py::tuple PixelsOf(const py::object& directions, const py::object& rolls, bool exact) const {
        if (!panorama_) {
            throw OrvoFailure("is not a panorama", path_);
        }
        const FaceRolls turned = RollsOr(rolls);
        Geometry(turned); // refuses a strip that is not six square faces
        using Vectors = py::array_t<double, py::array::c_style | py::array::forcecast>;
        const Vectors vectors = Vectors::ensure(directions);
        if (!vectors || vectors.ndim() < 1 || vectors.shape(vectors.ndim() - 1) != 3) {
            throw py::value_error("directions must be an array of shape (..., 3)");
        }
        const std::vector<py::ssize_t> shape(vectors.shape(), vectors.shape() + vectors.ndim() - 1);
        const py::ssize_t count = vectors.size() / 3;
        const double* v = vectors.data();
        const int n = panorama_->faceSize;
        py::array_t<std::int64_t> first(shape);
        py::array_t<double> column(shape), row(shape);
        py::array_t<std::int64_t> x(shape), y(shape);
        for (py::ssize_t i = 0; i < count; ++i) {
            const Vector3 direction = {v[3 * i], v[3 * i + 1], v[3 * i + 2]};
            if (!std::isfinite(direction.x) || !std::isfinite(direction.y) ||
                !std::isfinite(direction.z) ||
                (direction.x == 0 && direction.y == 0 && direction.z == 0)) {
                throw py::value_error("direction " + std::to_string(i) + " is zero or not finite");
            }
            const PanoramaPoint point = PanoramaPointOf(direction, n, turned);
            if (exact) {
                first.mutable_data()[i] = point.slot;
                column.mutable_data()[i] = point.column;
                row.mutable_data()[i] = point.row;
            } else {
                x.mutable_data()[i] = std::int64_t(point.slot) * n + std::llround(point.column);
                y.mutable_data()[i] = std::llround(point.row);
            }
        }
        return exact ? py::make_tuple(first, column, row) : py::make_tuple(x, y);
    }

    py::array_t<bool> Mask(const std::string& name) const {
        if (ids_ == nullptr) {
            throw OrvoFailure("has no object-id layer", path_);
        }
        std::vector<unsigned char> wanted(65536, 0);
        bool any = false;
        for (const auto& entry : NamesById()) {
            if (entry.second == name) {
                wanted[entry.first] = 1;
                any = true;
            }
        }
        if (!any) {
            throw py::key_error("no object named \"" + name + "\" in the object table");
        }
        py::array_t<bool> out({py::ssize_t(height_), py::ssize_t(width_)});
        bool* values = out.mutable_data();
        const std::size_t count = PixelCount();
        {
            py::gil_scoped_release release;
            for (std::size_t i = 0; i < count; ++i) {
                values[i] = wanted[ids_[i]] != 0;
            }
        }
        return out;
    }

private:
    // How a panorama's up and down faces were turned, settled once after reading as the orvo
    // tool settles it: as stated, or as the strip's border pixels show it (unrolled for a face
    // they cannot tell, and for a file that is no panorama of six square faces).
    void SettleRolls(const OrvoWalk& walk, const std::optional<FaceRolls>& stated) {
        if (!walk.hasPanorama || width_ != 6 * height_) {
            return;
        }
        if (stated) {
            rolls = *stated;
            return;
        }
        PanoramaPixels pixels = {height_, walk.colour.Get(), walk.panoramaDepth.Get(),
                                 walk.panorama.nearDepth, walk.panorama.farDepth};
        if (pixels.depth == nullptr) {
            pixels.nearDepth = 0.0;
            pixels.farDepth = 1.0;
        }
        py::gil_scoped_release release;
        rolls = FindPanoramaRolls(pixels).rolls;
    }

    std::size_t PixelCount() const { return std::size_t(width_) * std::size_t(height_); }

    FaceRolls RollsOr(const py::object& given) const {
        return given.is_none() ? rolls : given.cast<FaceRolls>();
    }

    void NeedDepth() const {
        if (codes_ == nullptr || (!view_ && !panorama_)) {
            throw OrvoFailure("has no depth layer, so no view record", path_);
        }
    }

    // The depth range of the view record; depths need no rays, so any strip has them.
    DepthRange Range() const {
        NeedDepth();
        return panorama_ ? DepthRange{panorama_->view.nearDepth, panorama_->view.farDepth}
                         : DepthRange{view_->nearDepth, view_->farDepth};
    }

    // The rays of the view, for a file with a depth layer.
    ViewGeometry Geometry(const FaceRolls& turned) const {
        NeedDepth();
        try {
            if (panorama_) {
                return ViewGeometry(panorama_->view, width_, height_, turned);
            }
            return ViewGeometry(*view_, width_, height_);
        } catch (const GeometryError& error) {
            throw OrvoFailure(error.what(), path_);
        }
    }

    // Calls visit(i, depth, ray) for every pixel i that has a depth, and fills NaN into the
    // three values (or one) of the others through visit with a NaN depth.
    template <typename Visit> void EachPixel(const ViewGeometry& geometry, Visit visit) const {
        const DepthRange range = geometry.Range();
        std::size_t i = 0;
        for (int r = 0; r < height_; ++r) {
            for (int c = 0; c < width_; ++c, ++i) {
                const std::uint32_t code = codes_[i];
                visit(i, code == NoDepthCode ? NAN : range.Depth(code), geometry.RayOf(c, r));
            }
        }
    }

    static py::object WholeNumbers(const py::object& values, const char* name) {
        const py::module_ np = py::module_::import("numpy");
        py::object array = np.attr("asarray")(values);
        const py::object kind = array.attr("dtype").attr("kind");
        if (!(kind.equal(py::str("i")) || kind.equal(py::str("u")))) {
            throw py::type_error(std::string(name) + " must be whole numbers");
        }
        return array;
    }

    std::string path_;
    std::string revision_;
    int width_;
    int height_;
    bool bigEndian_;
    py::object colour_, depthCodes_, idArray_;
    const std::uint32_t* codes_ = nullptr; // kept alive by depthCodes_
    const std::uint16_t* ids_ = nullptr;   // kept alive by idArray_
    std::optional<PerspectiveView> view_;
    std::optional<PanoramaRecord> panorama_;
    std::vector<Object> objects_;
};

std::string SystemPath(const py::object& path) {
    const py::bytes encoded = py::module_::import("os").attr("fsencode")(path);
    return std::string(encoded);
}

OrvoFile Read(const py::object& path, const std::optional<FaceRolls>& rolls) {
    const std::string file = SystemPath(path);
    WalkOptions options;
    options.rules = WalkRules::Inspector;
    OrvoWalk walk;
    {
        py::gil_scoped_release release;
        walk = WalkOrvoFile(file, options);
    }
    if (!walk.Complete()) {
        throw OrvoFailure(walk.Reason(), file);
    }
    return OrvoFile(walk, rolls);
}

std::string Repr(const char* type, const std::vector<std::pair<const char*, py::object>>& fields) {
    std::string text = std::string(type) + "(";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        text += (i ? ", " : "") + std::string(fields[i].first) + "=" +
                std::string(py::repr(fields[i].second));
    }
    return text + ")";
}

} // namespace

} // namespace orvo_python

PYBIND11_MODULE(orvo, m) {
    using namespace orvo_python;
    m.doc() = docs::Module;
    m.attr("__version__") = ORVO_VERSION;
    m.attr("NO_DEPTH_CODE") = NoDepthCode;
    m.attr("NO_OBJECT_ID") = NoObjectId;
    py::list slots;
    for (int slot = 0; slot < PanoramaSlotCount; ++slot) {
        slots.append(PanoramaSlotName(slot));
    }
    m.attr("SLOT_NAMES") = py::tuple(slots);

    // Both an OSError (the file could not be read) and a ValueError (its bytes are no whole
    // Orvo file), as io.UnsupportedOperation is both.
    const py::tuple bases = py::make_tuple(py::handle(PyExc_OSError), py::handle(PyExc_ValueError));
    ErrorType() = py::reinterpret_steal<py::object>(
        PyErr_NewExceptionWithDoc("orvo.OrvoError", docs::OrvoError, bases.ptr(), nullptr));
    if (!ErrorType()) {
        throw py::error_already_set();
    }
    m.add_object("OrvoError", ErrorType());
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const OrvoFailure& failure) {
            py::object error = ErrorType()(Utf8(failure.what()));
            error.attr("path") =
                py::module_::import("os").attr("fsdecode")(py::bytes(failure.Path()));
            PyErr_SetObject(ErrorType().ptr(), error.ptr());
        }
    });

    m.attr("ObjectEntry") =
        py::module_::import("collections")
            .attr("namedtuple")("ObjectEntry", "id name colour", "module"_a = "orvo");
    m.attr("ObjectEntry").attr("__doc__") = docs::ObjectEntry;

    py::class_<FaceRolls>(m, "FaceRolls", docs::FaceRolls)
        .def(py::init([](bool up, bool down) {
                 return FaceRolls{up, down};
             }),
             "up_rolled"_a = false, "down_rolled"_a = false)
        .def_readonly("up_rolled", &FaceRolls::upRolled, "Whether the up face is rolled.")
        .def_readonly("down_rolled", &FaceRolls::downRolled, "Whether the down face is rolled.")
        .def("__eq__",
             [](const FaceRolls& a, const FaceRolls& b) {
                 return a.upRolled == b.upRolled && a.downRolled == b.downRolled;
             })
        .def("__hash__", [](const FaceRolls& r) { return int(r.upRolled) * 2 + int(r.downRolled); })
        .def("__repr__", [](const FaceRolls& r) {
            return Repr("FaceRolls", {{"up_rolled", py::bool_(r.upRolled)},
                                      {"down_rolled", py::bool_(r.downRolled)}});
        });

    py::class_<PerspectiveView>(m, "View", docs::View)
        .def_property_readonly("projection", [](const PerspectiveView& v) { return v.projection; })
        .def_property_readonly(
            "projection_name",
            [](const PerspectiveView& v) { return ProjectionName(v.projection); })
        .def_property_readonly("eye_point",
                               [](const PerspectiveView& v) { return Triple(v.eyePoint); })
        .def_property_readonly("right_axis",
                               [](const PerspectiveView& v) { return Triple(v.rightAxis); })
        .def_property_readonly("up_axis", [](const PerspectiveView& v) { return Triple(v.upAxis); })
        .def_property_readonly("view_direction",
                               [](const PerspectiveView& v) { return Triple(v.viewDirection); })
        .def_property_readonly("spare_axis",
                               [](const PerspectiveView& v) { return Triple(v.spareAxis); })
        .def_property_readonly("corner_top_left",
                               [](const PerspectiveView& v) { return Triple(v.cornerTopLeft); })
        .def_property_readonly("corner_bottom_right",
                               [](const PerspectiveView& v) { return Triple(v.cornerBottomRight); })
        .def_property_readonly("window",
                               [](const PerspectiveView& v) {
                                   const Window w = WindowOf(v);
                                   return py::make_tuple(w.left, w.top, w.right, w.bottom);
                               })
        .def_property_readonly("near_depth", [](const PerspectiveView& v) { return v.nearDepth; })
        .def_property_readonly("far_depth", [](const PerspectiveView& v) { return v.farDepth; })
        .def_property_readonly("unit",
                               [](const PerspectiveView& v) { return UnitName(v.unitCode); })
        .def_property_readonly("unit_code", [](const PerspectiveView& v) { return v.unitCode; })
        .def_property_readonly("unit_scale", [](const PerspectiveView& v) { return v.unitScale; })
        .def("__repr__", [](const PerspectiveView& v) {
            return Repr("View", {{"projection", py::str(ProjectionName(v.projection))},
                                 {"eye_point", Triple(v.eyePoint)},
                                 {"view_direction", Triple(v.viewDirection)},
                                 {"near_depth", py::float_(v.nearDepth)},
                                 {"far_depth", py::float_(v.farDepth)},
                                 {"unit", py::str(UnitName(v.unitCode))}});
        });

    py::class_<PanoramaRecord>(m, "Panorama", docs::Panorama)
        .def_property_readonly("projection",
                               [](const PanoramaRecord& p) { return p.view.projection; })
        .def_property_readonly(
            "projection_name",
            [](const PanoramaRecord& p) { return ProjectionName(p.view.projection); })
        .def_property_readonly("eye_point",
                               [](const PanoramaRecord& p) { return Triple(p.view.eyePoint); })
        .def_property_readonly("up_axis",
                               [](const PanoramaRecord& p) { return Triple(p.view.upAxis); })
        .def_property_readonly("view_direction",
                               [](const PanoramaRecord& p) { return Triple(p.view.viewDirection); })
        .def_property_readonly("centre_point",
                               [](const PanoramaRecord& p) { return Triple(p.view.centrePoint); })
        .def_property_readonly("scalar", [](const PanoramaRecord& p) { return p.view.scalar; })
        .def_property_readonly("face_size", [](const PanoramaRecord& p) { return p.faceSize; })
        .def_property_readonly("near_depth",
                               [](const PanoramaRecord& p) { return p.view.nearDepth; })
        .def_property_readonly("far_depth", [](const PanoramaRecord& p) { return p.view.farDepth; })
        .def_property_readonly("unit",
                               [](const PanoramaRecord& p) { return UnitName(p.view.unitCode); })
        .def_property_readonly("unit_code", [](const PanoramaRecord& p) { return p.view.unitCode; })
        .def_property_readonly("unit_scale",
                               [](const PanoramaRecord& p) { return p.view.unitScale; })
        .def("__repr__", [](const PanoramaRecord& p) {
            return Repr("Panorama", {{"eye_point", Triple(p.view.eyePoint)},
                                     {"face_size", py::int_(p.faceSize)},
                                     {"near_depth", py::float_(p.view.nearDepth)},
                                     {"far_depth", py::float_(p.view.farDepth)},
                                     {"unit", py::str(UnitName(p.view.unitCode))}});
        });

    py::class_<OrvoFile>(m, "OrvoFile", docs::OrvoFile)
        .def_property_readonly("path",
                               [](const OrvoFile& f) {
                                   return py::module_::import("os").attr("fsdecode")(
                                       py::bytes(f.Path()));
                               })
        .def_property_readonly("revision", &OrvoFile::RevisionText)
        .def_property_readonly("width", &OrvoFile::Width)
        .def_property_readonly("height", &OrvoFile::Height)
        .def_property_readonly(
            "size", [](const OrvoFile& f) { return py::make_tuple(f.Width(), f.Height()); })
        .def_property_readonly("big_endian", &OrvoFile::BigEndian)
        .def_property_readonly("colour", &OrvoFile::Colour)
        .def_property_readonly("depth_codes", &OrvoFile::DepthCodes)
        .def_property_readonly("ids", &OrvoFile::Ids)
        .def_property_readonly("view",
                               [](const OrvoFile& f) -> py::object {
                                   return f.View() ? py::cast(*f.View()) : py::none();
                               })
        .def_property_readonly("panorama",
                               [](const OrvoFile& f) -> py::object {
                                   return f.Panorama() ? py::cast(*f.Panorama()) : py::none();
                               })
        .def_property_readonly(
            "objects",
            [](const OrvoFile& f) {
                const py::object entry = py::module_::import("orvo").attr("ObjectEntry");
                py::list list;
                for (const Object& o : f.Objects()) {
                    list.append(entry(o.id, Utf8(o.name),
                                      py::make_tuple(o.colour[0], o.colour[1], o.colour[2])));
                }
                return list;
            })
        .def_property_readonly("object_names",
                               [](const OrvoFile& f) {
                                   py::dict names;
                                   for (const auto& entry : f.NamesById()) {
                                       names[py::int_(entry.first)] = Utf8(entry.second);
                                   }
                                   return names;
                               })
        .def_readwrite("rolls", &OrvoFile::rolls)
        .def("depth", &OrvoFile::Depth, docs::Depth)
        .def("distance", &OrvoFile::Distance, docs::Distance, "rolls"_a = py::none())
        .def("points", &OrvoFile::Points, docs::Points, "rolls"_a = py::none())
        .def("ray", &OrvoFile::Rays, docs::Ray, "x"_a, "y"_a, "rolls"_a = py::none())
        .def(
            "pixel_of",
            [](const OrvoFile& f, const py::object& d, const py::object& rolls) {
                return f.PixelsOf(d, rolls, false);
            },
            docs::PixelOf, "directions"_a, "rolls"_a = py::none())
        .def(
            "face_point",
            [](const OrvoFile& f, const py::object& d, const py::object& rolls) {
                return f.PixelsOf(d, rolls, true);
            },
            docs::FacePoint, "directions"_a, "rolls"_a = py::none())
        .def("mask", &OrvoFile::Mask, docs::Mask, "name"_a)
        .def("__repr__", [](const OrvoFile& f) {
            return Repr("OrvoFile",
                        {{"path", py::module_::import("os").attr("fsdecode")(py::bytes(f.Path()))},
                         {"revision", py::str(f.RevisionText())},
                         {"size", py::make_tuple(f.Width(), f.Height())}});
        });

    m.def("read", &Read, docs::Read, "path"_a, "rolls"_a = py::none());
}
