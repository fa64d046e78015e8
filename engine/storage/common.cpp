namespace Common {

void UnitInit() {}
void UnitDone() {}

}  // namespace Common
