// Keeps the support library non-empty until its writers land.
namespace kestran::testing {
void supportPlaceholder();
void supportPlaceholder() {}
}  // namespace kestran::testing
