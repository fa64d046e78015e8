namespace STACKLIB {

void UnitInit() {}
void UnitDone() {}

}  // namespace STACKLIB
