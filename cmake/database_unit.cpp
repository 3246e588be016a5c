// The shared library is made of the static libraries of src/; this unit gives it a source of its own.
namespace database_unit { int present = 1; }
