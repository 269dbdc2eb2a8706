#include "simulator_picture.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "../picture/graph_picture.h"
#include "arguments.h"
#include "file_io.h"
#include "owned_ref.h"
#include "simulator_object.h"
#include "without_gil.h"

namespace korvane::python {
namespace {

using engine::Qubit;
using picture::Point;

// The qubits of `qubits` (any iterable of ints), or false with an exception set.
bool convert_qubit_iterable(PyObject* qubits, std::vector<Qubit>& into) {
  const OwnedRef iterator(PyObject_GetIter(qubits));
  if (!iterator) return false;
  while (const OwnedRef item{PyIter_Next(iterator.get())}) {
    Qubit qubit = 0;
    if (!convert_qubit_index(item.get(), qubit)) return false;
    into.push_back(qubit);
  }
  return PyErr_Occurred() == nullptr;
}

// The vertices to draw: the asked qubits and their neighbours, or every qubit with an edge.
bool select_vertices(const engine::Register& reg, PyObject* qubits_argument,
                     picture::GraphPicture& picture) {
  std::vector<Qubit>& drawn = picture.graph.qubits;
  if (qubits_argument == nullptr || qubits_argument == Py_None) {
    for (Qubit q = 0; q < reg.size(); ++q) {
      if (reg.degree(q) == 0) continue;
      if (drawn.size() == picture::most_drawn_vertices) {
        PyErr_Format(PyExc_ValueError,
                     "the graph has more than %zu qubits with edges, too many to draw: pass "
                     "qubits= to draw the part around some of them",
                     picture::most_drawn_vertices);
        return false;
      }
      drawn.push_back(q);
    }
    picture.context.assign(drawn.size(), false);
    return true;
  }
  std::vector<Qubit> asked;
  if (!convert_qubit_iterable(qubits_argument, asked)) {
    name_argument_error("qubits");
    return false;
  }
  for (const Qubit q : asked) {
    if (q >= reg.size()) {
      PyErr_Format(PyExc_ValueError, "qubit %zu is outside the register of %zu qubits",
                   static_cast<std::size_t>(q), reg.size());
      return false;
    }
  }
  std::sort(asked.begin(), asked.end());
  asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
  std::vector<Qubit> around;
  for (const Qubit q : asked) reg.for_each_neighbor(q, [&](Qubit w) { around.push_back(w); });
  drawn = asked;
  drawn.insert(drawn.end(), around.begin(), around.end());
  std::sort(drawn.begin(), drawn.end());
  drawn.erase(std::unique(drawn.begin(), drawn.end()), drawn.end());
  for (const Qubit q : drawn) {
    picture.context.push_back(!std::binary_search(asked.begin(), asked.end(), q));
  }
  return true;
}

void collect_edges_and_vops(const engine::Register& reg, picture::GraphPicture& picture) {
  const std::vector<Qubit>& drawn = picture.graph.qubits;
  std::unordered_map<Qubit, std::size_t> position;
  position.reserve(drawn.size());
  for (std::size_t v = 0; v < drawn.size(); ++v) position[drawn[v]] = v;
  for (std::size_t v = 0; v < drawn.size(); ++v) {
    picture.vops.push_back(reg.vop(drawn[v]));
    reg.for_each_neighbor(drawn[v], [&](Qubit w) {
      const auto found = position.find(w);
      if (w > drawn[v] && found != position.end())
        picture.graph.edges.emplace_back(v, found->second);
    });
  }
}

// The coordinates of the drawn vertices: from a {qubit: (x, y)} mapping, else those of the last
// circuit run with QUBIT_COORDS.
bool collect_coordinates(const SimulatorObject& simulator, PyObject* mapping,
                         picture::GraphPicture& picture) {
  const std::vector<Qubit>& drawn = picture.graph.qubits;
  picture.graph.coordinates.assign(drawn.size(), std::nullopt);
  if (mapping == nullptr) {
    for (std::size_t v = 0; v < drawn.size(); ++v) {
      const auto found = std::lower_bound(
          simulator.coordinates.begin(), simulator.coordinates.end(), drawn[v],
          [](const circuit::QubitCoordinate& entry, Qubit q) { return entry.qubit < q; });
      if (found != simulator.coordinates.end() && found->qubit == drawn[v]) {
        picture.graph.coordinates[v] = Point{found->x, found->y};
      }
    }
    return true;
  }
  for (std::size_t v = 0; v < drawn.size(); ++v) {
    const OwnedRef key(PyLong_FromSize_t(drawn[v]));
    if (!key) return false;
    PyObject* value = PyDict_GetItemWithError(mapping, key.get());
    if (value == nullptr) {
      if (PyErr_Occurred() != nullptr) return false;
      continue;
    }
    Point point;
    if (!PyArg_ParseTuple(value, "dd;a position is a pair of numbers (x, y)", &point.x, &point.y)) {
      return false;
    }
    picture.graph.coordinates[v] = point;
  }
  return true;
}

bool convert_layout(PyObject* layout, picture::Layout& mode, PyObject*& mapping) {
  if (layout == nullptr) return true;
  if (PyDict_Check(layout)) {
    mode = picture::Layout::coordinates;
    mapping = layout;
    return true;
  }
  if (PyUnicode_Check(layout)) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(layout, &size);
    if (text == nullptr) return false;
    if (const auto named = picture::layout_named({text, static_cast<std::size_t>(size)})) {
      mode = *named;
      return true;
    }
  }
  PyErr_Format(PyExc_ValueError,
               "layout must be 'auto', 'coords', 'grid', 'spring', 'circle' or a dict "
               "{qubit: (x, y)}, not %R",
               layout);
  return false;
}

}  // namespace

PyObject* draw_simulator(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  static const char* keywords[] = {"path", "qubits", "layout", nullptr};
  PyObject* path = nullptr;
  PyObject* qubits = nullptr;
  PyObject* layout = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O$OO:draw", const_cast<char**>(keywords), &path,
                                   &qubits, &layout)) {
    return nullptr;
  }
  return with_borrow<SharedBorrow>(
      self, [&](SimulatorObject& simulator, SharedBorrow&) -> PyObject* {
        picture::Layout mode = picture::Layout::automatic;
        PyObject* mapping = nullptr;
        if (!convert_layout(layout, mode, mapping)) return nullptr;
        picture::GraphPicture picture;
        picture.graph.register_size = simulator.reg.size();
        if (!select_vertices(simulator.reg, qubits, picture)) return nullptr;
        collect_edges_and_vops(simulator.reg, picture);
        if (!collect_coordinates(simulator, mapping, picture)) return nullptr;
        std::string svg;
        try {
          without_gil(
              [&] { svg = picture::draw_graph(picture, picture::lay_out(picture.graph, mode)); });
        } catch (const std::invalid_argument& refusal) {
          PyErr_SetString(PyExc_ValueError, refusal.what());
          return nullptr;
        }
        return text_or_file(path, svg);
      });
}

}  // namespace korvane::python
