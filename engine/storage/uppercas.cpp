namespace UPPERCAS {

void UnitInit() {}
void UnitDone() {}

}  // namespace UPPERCAS
