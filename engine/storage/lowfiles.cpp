namespace LOWFILES {

void UnitInit() {}
void UnitDone() {}

}  // namespace LOWFILES
