#include "detection_binding.h"

#include <memory>
#include <vector>

#include "../circuit/shots/detection_events.h"
#include "errors.h"
#include "packed_rows.h"
#include "signal_check.h"
#include "without_gil.h"

namespace korvane::python {

PyObject* circuit_detection_events(const circuit::Program& program, PyObject* args,
                                   PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {"measurements", nullptr};
    PyObject* measurements = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:detection_events",
                                     const_cast<char**>(keywords), &measurements)) {
      return nullptr;
    }
    circuit::ShotLayout layout{program.num_measurements, 0, 0};
    std::vector<std::uint8_t> records;
    std::uint64_t shots = 0;
    bool bit_packed = false;
    // A circuit without measurements reads any bool array as records of its own width.
    if (!packed_rows(measurements, layout, records, shots, bit_packed)) return nullptr;
    if (layout.measurements != program.num_measurements) {
      PyErr_Format(PyExc_ValueError, "measurements must have %llu columns, one per measurement",
                   static_cast<unsigned long long>(program.num_measurements));
      return nullptr;
    }
    std::unique_ptr<circuit::DetectionConverter> converter;
    std::vector<std::uint8_t> detectors(shots * ((program.num_detectors + 7) / 8));
    std::vector<std::uint8_t> observables(shots * ((program.num_observables + 7) / 8));
    SignalCheck ctrl_c;
    without_gil([&] {
      converter = std::make_unique<circuit::DetectionConverter>(program, ctrl_c.for_this_thread());
      converter->convert(records.data(), shots, detectors.data(), observables.data());
    });
    const OwnedRef detector_array = shot_array(detectors, shots, program.num_detectors, bit_packed);
    if (!detector_array) return nullptr;
    const OwnedRef observable_array =
        shot_array(observables, shots, program.num_observables, bit_packed);
    if (!observable_array) return nullptr;
    return PyTuple_Pack(2, detector_array.get(), observable_array.get());
  });
}

}  // namespace korvane::python
