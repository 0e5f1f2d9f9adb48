// Objects that never got a value. Python can make an object of a bound class without its
// __init__ (Vehicle.__new__(Vehicle)): it has room for the C++ value but no value in it, and
// pybind11 would hand that uninitialised memory to every function bound on the class. Each
// bound class is marked here, and its caster refuses such an object with TypeError before
// any function sees it: attribute reads and writes, methods, item access, repr, pickling and
// passing the object to run or run_batch all raise. Mark every class bound with py::class_
// (Record<> refuses an unmarked one); a class private to one source file is marked there,
// before its first use.
#pragma once
#include <pybind11/pybind11.h>

#include <typeinfo>

#include "hdfe/cycle.h"
#include "hdfe/hdfe.h"
#include "hdfe/route.h"

namespace hdfe::python {

template <typename T>
inline constexpr bool bound_class = false;

template <> inline constexpr bool bound_class<Vehicle> = true;
template <> inline constexpr bool bound_class<EngineInput> = true;
template <> inline constexpr bool bound_class<TransmissionInput> = true;
template <> inline constexpr bool bound_class<InputFile> = true;
template <> inline constexpr bool bound_class<RunFinding> = true;
template <> inline constexpr bool bound_class<RunWarning> = true;
template <> inline constexpr bool bound_class<CycleMetrics> = true;
template <> inline constexpr bool bound_class<EnergyAudit> = true;
template <> inline constexpr bool bound_class<Cycle> = true;
template <> inline constexpr bool bound_class<CycleFigures> = true;
template <> inline constexpr bool bound_class<Classification> = true;
template <> inline constexpr bool bound_class<SpecValues> = true;
template <> inline constexpr bool bound_class<VehicleSpec> = true;
template <> inline constexpr bool bound_class<EngineData> = true;
template <> inline constexpr bool bound_class<GearRow> = true;
template <> inline constexpr bool bound_class<TransmissionData> = true;
template <> inline constexpr bool bound_class<Route> = true;
template <> inline constexpr bool bound_class<RouteFigures> = true;

// TypeError if `object` is an object of the bound class `type` (or of a subclass) whose value
// was never constructed; anything else is left to the caster.
void check_constructed(pybind11::handle object, const std::type_info& type);

}  // namespace hdfe::python

namespace pybind11::detail {

template <typename T>
class type_caster<T, enable_if_t<hdfe::python::bound_class<T>>> : public type_caster_base<T> {
 public:
  bool load(handle src, bool convert) {
    hdfe::python::check_constructed(src, typeid(T));
    return type_caster_base<T>::load(src, convert);
  }
};

}  // namespace pybind11::detail
